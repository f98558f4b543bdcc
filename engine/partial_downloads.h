// Downloads kept for a later run: a file that stops early (a dropped line, the watchdog, a
// stop that keeps, a killed process, a power cut) keeps its bytes in the temporary file
// beside its target, and a small journal in the installation folder says which file they
// belong to. The next run continues each from its length instead of from zero. A change to
// the journal costs one appended line, so a run of thousands of files stays cheap.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/manifest_record.h"

// One journaled partial: the record it was fetched for, and where its bytes are.
struct PartialDownload {
    std::string name;         // the record's name (its target)
    std::string partialPath;  // the temporary file holding the bytes so far, as the run opens it
    std::string journaledPath; // the same file as the journal names it: relative to the installation
    std::string remotePath;   // what the bytes are the start of: the record's remote path,
    std::string size;         // recorded size
    std::string digest;       // and digest
    uint64_t bytesOnDisk = 0; // when the entry was last written (what the file held then)
};

// The run's thread and the connections fetching ahead (which journal the files they stage)
// use one journal: every call holds its lock, and an entry stays where it is in memory until
// it is dropped, so what Find returns stays valid while its record is the caller's.
class PartialDownloads {
public:
    explicit PartialDownloads(std::string journalPath = kPartialJournalName);

    // Reads the journal. A missing or damaged one holds nothing (its partials are then the
    // temporary leftovers of a killed run). An entry whose file is not one of the tool's own
    // temporary files in the installation folder or its target's folder is left out: the
    // journal is a file on disk that anything may have written or copied, and its paths are
    // appended to, moved and removed.
    void Load();
    // The partial of `record` when its entry belongs to that very record (the same remote
    // path, size and digest) and its file is still there; null otherwise.
    const PartialDownload* Find(const ManifestRecord& record) const;
    // Starts a partial for `record` in `partialPath`, replacing (and removing) any earlier
    // one of the same name. False when the journal cannot be written, the record's texts
    // cannot be journaled or `partialPath` is no temporary file of the tool beside the
    // record's target or the pack; the caller then downloads without keeping a partial.
    bool Start(const ManifestRecord& record, const std::string& partialPath);
    // Start, unless the journal already holds a partial of `record`'s name (the run's own
    // request got there first): a file fetched ahead never takes the place of the run's.
    bool StartIfNone(const ManifestRecord& record, const std::string& partialPath);
    // The journaled partial of `record`, or else one `makePath` makes, started in one step
    // with the lookup. "" when there is none and none could be made.
    std::string FindOrStart(const ManifestRecord& record, const std::function<std::string()>& makePath);
    // Notes how many bytes the partial of `name` holds now.
    void NoteBytes(const std::string& name, uint64_t bytes);
    // Drops the entry of `name`, with its file unless the file was moved into place.
    void Forget(const std::string& name, bool removeFile);
    // Drops every entry (and its file) not for one of `wanted` as it is recorded now: files
    // no longer listed, or listed with another content.
    void KeepOnly(const std::vector<ManifestRecord>& wanted);
    // The bytes the partials of `records` already hold.
    uint64_t BytesOnDisk(const std::vector<ManifestRecord>& records) const;
    // The file names (without folders, ASCII lower case) of every journaled partial.
    std::set<std::string> PartialFileNames() const;

private:
    // One change of the log, read back; false for a line that is no change of ours.
    bool Apply(const std::vector<std::string>& fields);
    // Appends one line to the log (writing it anew when it has grown too long).
    bool Append(const std::string& line);
    // Writes the log anew holding only the entries there are, or removes it when there is
    // none. False when it could not be written.
    bool Rewrite();
    void Drop(const std::string& name);
    std::list<PartialDownload>::iterator Entry(const std::string& name);

    mutable std::recursive_mutex lock_;
    std::string journalPath_;
    std::list<PartialDownload> entries_;
    size_t logLines_ = 0;  // change lines in the journal file
};
