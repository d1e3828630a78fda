// Files and folders for the tests (Win32 paths, no trailing backslash). The
// writers return a gtest result: true, or false with the path and the error,
// for ASSERT_TRUE / EXPECT_TRUE at the caller.
#pragma once

#include <gtest/gtest.h>

#include <string>

bool FileOrFolderExists(const std::string& path);
bool FileExists(const std::string& path);   // a file, not a folder
bool FolderExists(const std::string& path);

// The whole file; empty when it cannot be opened.
std::string ReadFileBytes(const std::string& path);

// Replaces the file with exactly these bytes; its folder must exist.
testing::AssertionResult WriteFileBytes(const std::string& path, const std::string& bytes);
// The same after creating the folders along the path.
testing::AssertionResult WriteFileMakingFolders(const std::string& path, const std::string& bytes);

// Removes the folder and everything in it, read-only or not.
void RemoveTree(const std::string& path);

// A new folder under the temp folder: "<temp>\<prefix>-<pid>-<n>".
std::string MakeTempFolder(const std::string& prefix);
