#include "SaveWriter.h"

#include <cstring>

namespace {

// The run log's own texts, as the maintenance program writes them.
const char kBannerHead[] = "======Start New Log '";
const char kBannerTail[] = "'======";
const char kVersionHead[] = "Save And Restore sw part number ";
const char kSaveCopyHead[] = "SaveConfig: Copying ";

// "2026/12/08 00:58:31"
const size_t kStampChars = 19;

bool StartsWith(const std::string& text, const char* head)
{
    return text.compare(0, std::strlen(head), head) == 0;
}

bool IsStamp(const std::string& line)
{
    if (line.size() < kStampChars) return false;
    for (size_t i = 0; i < kStampChars; ++i) {
        const char c = line[i];
        const bool digit = c >= '0' && c <= '9';
        const char mark = i == 4 || i == 7 ? '/' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : 0;
        if (mark ? c != mark : !digit) return false;
    }
    return true;
}

// A line is the stamp, a blank, the level's label (empty for a trace), a
// colon and a blank, then the message. Other lines have no message.
bool Message(const std::string& line, std::string* message)
{
    if (!IsStamp(line)) return false;
    size_t colon = line.find(": ", kStampChars);
    if (colon == std::string::npos) return false;
    *message = line.substr(colon + 2);
    return true;
}

} // namespace

SaveWriter FindSaveWriter(const std::string& log)
{
    SaveWriter writer;
    // What the current run has logged so far.
    SaveWriter run;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string line = log.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string message;
        if (!Message(line, &message)) continue;

        if (StartsWith(message, kBannerHead)) {
            run = SaveWriter();
            run.bBanner = true;
            size_t tail = message.rfind(kBannerTail);
            const size_t head = std::strlen(kBannerHead);
            run.program = message.substr(head, tail != std::string::npos && tail >= head ? tail - head : std::string::npos);
        } else if (StartsWith(message, kVersionHead)) {
            run.bVersion = true;
            run.version = message.substr(std::strlen(kVersionHead));
        } else if (StartsWith(message, kSaveCopyHead)) {
            writer = run;
            writer.bFound = true;
            writer.stamp = line.substr(0, kStampChars);
        }
    }
    return writer;
}
