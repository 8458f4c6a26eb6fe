// Handing the process over to another program of this installation.
#pragma once
#include <string>
#include <vector>

// The folder of the running executable, without the trailing slash; empty when unknown.
std::string ExecutableDirectory();
// The first of `folders` (each relative to the running executable's folder, "." for that folder
// itself) that holds an executable `program`, as a full path; empty when none does.
std::string FindSibling(const std::string& program, const std::vector<std::string>& folders);
// Replaces this process with `program` found as FindSibling finds it, with the given arguments
// (argv[0] included). Returns only on failure, with errno set (ENOENT when it is nowhere).
void ExecSibling(const std::string& program, const std::vector<std::string>& folders, char** argv);
