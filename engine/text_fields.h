// The lines of the engine's own text files (the journal of partial downloads, the delta
// list): fields separated by a byte no GBK character contains, such as a tab.
#pragma once

#include <string>
#include <vector>

// The fields of `line` between `separator` bytes ("a\t\tb" gives "a", "", "b"); one empty
// field for an empty line.
inline std::vector<std::string> SplitFields(const std::string& line, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}
