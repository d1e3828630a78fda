#include "RestoreOutcome.h"

std::string RestoreFailureText(const RestoreOutcome& outcome)
{
    std::string what;
    auto add = [&what](const std::string& item) { what += (what.empty() ? "" : ", ") + item; };
    if (outcome.bMediaUnreadable) add("removable media not readable");
    if (outcome.nFilesNotTaken == 1) add("1 saved file not taken");
    if (outcome.nFilesNotTaken > 1) add(std::to_string(outcome.nFilesNotTaken) + " saved files not taken");
    if (outcome.bAddressBookFailed) add("address book not written");
    if (outcome.bKnobLayoutFailed) add("knob layout not written");
    if (outcome.bStartupFailed) add("startup application not written");
    if (outcome.bUndoFailed) add("unit settings not put back");
    if (outcome.bStateFailed) add("unit state not recorded");
    if (outcome.bProofFailed) add("undo record not written on the unit, nothing undone");
    if (outcome.bMediaNotCleared) add("removable media not cleared");
    if (what.empty()) return std::string();
    return "Restore not finished: " + what + ".\nThe save stays on the removable media; press Confirm to try again.";
}
