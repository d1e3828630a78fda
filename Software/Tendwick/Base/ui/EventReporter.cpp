#include "EventReporter.h"

namespace {

HANDLE g_source = nullptr;
MaintReportEventFn g_reportEvent = ReportEventA;

} // namespace

void SetMaintEventSource(HANDLE source)
{
    g_source = source;
}

HANDLE GetMaintEventSource()
{
    return g_source;
}

BOOL ReportMaintError(const char* text)
{
    LPCSTR strings[1] = {text ? text : ""};
    return g_reportEvent(g_source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
}

MaintReportEventFn SetMaintReportEventFunction(MaintReportEventFn fn)
{
    MaintReportEventFn previous = g_reportEvent;
    g_reportEvent = fn ? fn : ReportEventA;
    return previous;
}
