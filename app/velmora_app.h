#pragma once

#include "devices.h"

#include <QString>

#include <cstdint>
#include <string>

// CVelmoraApp starts the program: it runs the main dialog modally and the
// process ends when the dialog closes. It also owns the one per-user setting,
// the last format used, kept under company "Quorvant", the application's
// name (the executable's base name), group "Settings".
class CVelmoraApp {
public:
    static constexpr const char* kCompany = "Quorvant";
    static constexpr const char* kSettingsSection = "Settings";
    static constexpr const char* kFormatEntry = "Default Format";
    // "all" lists every photo and video type, anything else "*.jpg" only.
    static constexpr const char* kFileTypesEntry = "File Types";
    // "true": raw files, videos and sidecars follow their photo's rename.
    static constexpr const char* kCompanionsEntry = "Companions";
    // "true": the scan lists every subfolder too.
    static constexpr const char* kSubfoldersEntry = "Include Subfolders";
    // "true": a rename makes the folders the format's folder parts name.
    static constexpr const char* kCreateFoldersEntry = "Create Folders";
    // "true": a rename removes the subfolders its files left empty.
    static constexpr const char* kRemoveEmptyFoldersEntry = "Remove Emptied Folders";
    // "true": a renamed file's modification time becomes its date.
    static constexpr const char* kSetFileTimesEntry = "Set File Times";
    // "none", "names" or "files": what dates files whose metadata holds none.
    static constexpr const char* kUndatedEntry = "Dates for Undated Files";
    // "keep", "lower" or "upper": the case of the new names' extensions.
    static constexpr const char* kExtensionCaseEntry = "Extension Case";
    // "true": the window opens maximised, as it was left.
    static constexpr const char* kMaximizedEntry = "Window Maximized";
    // The clock offset of each device, in signed seconds, by CDeviceId::Key().

    // Runs the main dialog, first scanning `startPath` (a folder, or any file
    // of one) as a drop would when one is given. Returns false: the process
    // is over once the dialog has closed.
    // `startPath` is the file system's bytes.
    bool InitInstance(const std::string& startPath = std::string());

    // The stored value, or `defaultValue` when there is none or the settings
    // file can't be used (a stored empty text is returned as it is).
    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) const;
    // Empty when the value reached the file, else why not (a settings file
    // that can't be used is never written).
    QString WriteProfileString(const QString& section, const QString& entry, const QString& value);

    // The stored clock offsets (none when the settings file can't be used);
    // an offset of 0 removes the device's entry, with the same result as a
    // WriteProfileString.
    velmora::CClockOffsets GetClockOffsets() const;
    // Stores a device's clock offsets (none removes its key), with the same
    // result as a WriteProfileString.
    QString WriteClockSpans(const std::string& key, const velmora::CClockSpans& spans);
};

extern CVelmoraApp theApp;
