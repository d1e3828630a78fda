#include "TendwickDriver.h"

#include "TestFiles.h"

const char TendwickDriver::RUN_LOG_PATH[] = "E:\\ZelData\\VURLog\\CsrLog.txt";

namespace {

const char BANNER[] = "======Start New Log";

std::string ScreenText(const TendwickWindow& window)
{
    return "\nThe screen:\n" + window.Describe();
}

}  // namespace

testing::AssertionResult TendwickDriver::Start(DWORD ms, const std::string& arguments)
{
    if (!Launch(arguments)) return testing::AssertionFailure() << Error();
    return WaitIdle(ms);
}

testing::AssertionResult TendwickDriver::WaitIdle(DWORD ms)
{
    if (WaitReady(ms)) return testing::AssertionSuccess();
    testing::AssertionResult failure = testing::AssertionFailure() << Exe() << ": " << Error();
    if (Window() && IsWindow(Window())) failure << ScreenText(*this);
    return failure;
}

testing::AssertionResult TendwickDriver::LabelWait(int number, const std::string& text, Match how, DWORD ms)
{
    std::string last;
    if (WaitForLabel(number, text, how, ms, &last)) return testing::AssertionSuccess();
    static const char* const wanted[] = {"to read", "to contain", "to change from"};
    return testing::AssertionFailure() << "label " << number << " reads \"" << last << "\" after " << ms
                                       << " ms; expected it " << wanted[how] << " \"" << text << "\""
                                       << ScreenText(*this);
}

testing::AssertionResult TendwickDriver::WaitLabel(int number, const std::string& text, DWORD ms)
{
    return LabelWait(number, text, EQUALS, ms);
}

testing::AssertionResult TendwickDriver::WaitLabelContains(int number, const std::string& text, DWORD ms)
{
    return LabelWait(number, text, CONTAINS, ms);
}

testing::AssertionResult TendwickDriver::WaitLabelChange(int number, const std::string& from, DWORD ms)
{
    return LabelWait(number, from, DIFFERS, ms);
}

testing::AssertionResult TendwickDriver::WaitControlVisible(int id, bool visible, DWORD ms)
{
    if (WaitForControlVisible(id, visible, ms)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "control " << id << " is still " << (visible ? "hidden" : "visible")
                                       << " after " << ms << " ms" << ScreenText(*this);
}

testing::AssertionResult TendwickDriver::WaitSoftKey(int number, const std::string& caption, DWORD ms)
{
    std::string last;
    if (WaitUntil([&] { return (last = SoftKey(number)) == caption; }, ms)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "soft key " << number << " reads \"" << last << "\" after " << ms
                                       << " ms; expected \"" << caption << "\"" << ScreenText(*this);
}

testing::AssertionResult TendwickDriver::WaitExit(DWORD ms)
{
    if (WaitForExit(ms, &m_dwExitCode)) return testing::AssertionSuccess();
    if (!IsRunning()) return testing::AssertionFailure() << Exe() << " was never started";
    return testing::AssertionFailure() << Exe() << " still runs after " << ms << " ms" << ScreenText(*this);
}

std::string TendwickDriver::RunLog(const std::string& path)
{
    return ReadFileBytes(path);
}

std::string TendwickDriver::LastRun(const std::string& log)
{
    std::string::size_type banner = log.rfind(BANNER);
    if (banner == std::string::npos) return log;
    // The banner line begins with its time stamp: keep the whole line.
    std::string::size_type lineStart = log.rfind('\n', banner);
    return log.substr(lineStart == std::string::npos ? 0 : lineStart + 1);
}
