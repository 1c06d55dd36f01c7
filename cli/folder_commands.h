#pragma once

#include "folder_scan.h"

#include <iosfwd>
#include <string>

// `velmora-cli list` and `velmora-cli rename`: the folder scan, name
// generation and rename run of the window, printed for a terminal.

// Why `folder` can't be listed; empty when it can.
std::string FolderError(const std::string& folder);

// Prints the rows; returns the exit status (0).
int RunListCommand(const std::string& folder, const std::string& format,
                   const velmora::CScanOptions& scan, bool json, std::ostream& out);

// Scans, names and renames exactly as the Rename command does, printing each
// change and then the message the window would show. Exit status 0 when every
// file was renamed or there was nothing to do, 1 when some or none were, 2
// when the run stopped at an error.
int RunRenameCommand(const std::string& folder, const std::string& format,
                     const velmora::CScanOptions& scan, bool json, std::ostream& out);

// Gives the files of the folder's last rename their names back, printing each
// change and then the outcome. Exit statuses as for rename.
int RunUndoCommand(const std::string& folder, bool json, std::ostream& out);

// Lists the folder's journaled runs, oldest first: when, what, how many
// files, and how each ended. Exit status 0.
int RunHistoryCommand(const std::string& folder, std::ostream& out);
