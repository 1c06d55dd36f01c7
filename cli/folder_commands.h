#pragma once

#include "folder_scan.h"
#include "rename_run.h"

#include <iosfwd>
#include <string>
#include <vector>

// `velmora-cli list` and `velmora-cli rename`: the folder scan, name
// generation and rename run of the window, printed for a terminal.

// Why `folder` can't be listed; empty when it can.
std::string FolderError(const std::string& folder);

// Prints the rows; returns the exit status (0). `shifted`: the devices
// --shift gave, each of which must be one of the folder's (else exit status
// 2, nothing done).
int RunListCommand(const std::string& folder, const std::string& format,
                   const velmora::CScanOptions& scan, bool json, std::ostream& out,
                   const std::vector<std::string>& shifted = {});

// Scans, names and renames exactly as the Rename command does, printing each
// change and then the message the window would show. Exit status 0 when every
// file was renamed or there was nothing to do, 1 when some or none were, 2
// when the run stopped at an error. The journal records the clock offsets
// that moved the dates. Rows whose new names the run would refuse stop it
// before its first rename (exit status 2, naming them), unless
// `skipRefused`: then they keep their names and the others are renamed.
int RunRenameCommand(const std::string& folder, const std::string& format,
                     const velmora::CScanOptions& scan, bool json, std::ostream& out,
                     const std::vector<std::string>& shifted = {},
                     const velmora::CRunChoices& choices = {}, bool skipRefused = false);

// Lists the devices of the folder's files, the known ones as first met and
// then the unknown device: files, first and last date as read, the offset
// in force and the one proposed. Exit status 0, or 2 as for list.
int RunDevicesCommand(const std::string& folder, const velmora::CScanOptions& scan, bool json,
                      std::ostream& out, const std::vector<std::string>& shifted = {});

// Gives the files of the folder's last rename their names back, printing each
// change and then the outcome. Exit statuses as for rename.
int RunUndoCommand(const std::string& folder, bool json, std::ostream& out);

// Lists the folder's journaled runs, oldest first: when, what, how many
// files, how each ended, and the clock offsets in force. Exit status 0.
int RunHistoryCommand(const std::string& folder, std::ostream& out);
