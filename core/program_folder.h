#pragma once
// The folder the program's files sit in (the log, the pictures): its executable's, in a form that
// names that folder on its own, also at the root of a drive or a network share.

#include <string>

// The folder part of a full file path: "E:\tools" for "E:\tools\Zarvel-Update.exe", and a root
// with its backslash for a file at one: "E:\", "\\server\share\", "\\?\C:\", "\\?\UNC\server\share\".
// Empty for a path without a folder.
std::wstring FolderOfPath(const std::wstring& path);

// folder + name with one backslash between them, also where the folder is a root that ends in one.
std::wstring PathInFolder(const std::wstring& folder, const std::wstring& name);
