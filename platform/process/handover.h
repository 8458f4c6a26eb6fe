// Handing the process over to another program of this installation.
#pragma once
#include <string>

// The folder of the running executable, without the trailing slash; empty when unknown.
std::string ExecutableDirectory();
// Replaces this process with `program` from the same folder, with the given arguments (argv[0]
// included). Returns only on failure, with errno set.
void ExecSibling(const std::string& program, char** argv);
