#include "tools/paktool/olp_removals.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/update_pk_writer.h"
#include "pak/pak_name.h"
#include "tools/paktool/console_text.h"
#include "tools/paktool/publish_delta.h"
#include "tools/paktool/publish_removals.h"
#include "tools/paktool/publish_util.h"

const OptionDef kRemovedFromOption = {nullptr, "--removed-from", true, true,
                                     "an earlier game folder: what it has and GAMEDIR lacks is removed (repeatable)"};

int AddOlpRemovals(const ParsedArgs& args, NameEncoding encoding, const std::vector<uint32_t>& reservedIds,
                   UpdatePkWriter& writer, std::vector<ManifestRecord>& records) {
    std::vector<ManifestRecord> earlier;
    for (const char* option : {kRemovedFromOption.longName, kDeltaFromOption.longName}) {
        for (const char* dir : args.Values(option)) {
            if (int rc = CheckFolder(dir, "earlier game folder"); rc != kExitOk) return rc;
            std::vector<GameFile> files;
            if (int rc = ScanGameDir(dir, encoding, files); rc != kExitOk) return rc;
            for (const GameFile& file : files) {
                if (std::find(reservedIds.begin(), reservedIds.end(), CalcFoldedFileId(file.name.c_str())) !=
                    reservedIds.end()) {
                    continue;  // a control member's name: no installation holds such a game file
                }
                ManifestRecord r;
                r.name = file.name;
                earlier.push_back(r);
            }
        }
    }
    // Offline packages name each file by its own name: the remote folder is empty.
    const std::vector<Removal> removals = FindRemovals(earlier, records, std::string());
    for (const Removal& removal : removals) {
        writer.Add(removal.record.name, RemovalContent());
        records.push_back(removal.record);
        std::printf("removed %s\n", ConsoleText(removal.record.name).c_str());
    }
    return kExitOk;
}
