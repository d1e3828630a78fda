// The inspector's two outputs: text for a technician, JSON for scripts.
#pragma once

#include "MediaInspection.h"
#include "RestoreDryRun.h"

#include <string>

std::string MediaReportText(const MediaReport& report);
std::string DryRunText(const DryRunReport& report);
// One JSON object: "media", and "restore" when a dry run was made.
std::string ReportJson(const MediaReport& media, const DryRunReport* dryRun);

// 0 for a complete save, 1 otherwise.
int VerdictExitCode(Verdict verdict);
