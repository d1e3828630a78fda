// Media content shown on a terminal or in JSON: any byte may be in it.
#pragma once

#include <string>

// Printable ASCII as it is; every other byte as \xNN, so that no control
// sequence from the media reaches the terminal.
std::string Printable(const std::string& bytes);

// A JSON string literal, quotes included. Bytes above 0x7F are taken as the
// code page's Latin-1 range (\u0080 to \u00FF), so the output is valid JSON
// whatever the media holds.
std::string JsonString(const std::string& bytes);
