// libFuzzer entry point for the journal reader: each input is a journal of a
// store, read as a summary (the history's way) and whole (the undo's way).
// Whatever the bytes, no name or folder may come out that leaves the photo
// folder (a folder to make again included), and no clock line that would not
// print on one line; a journal sound as a whole is summarized as the same run,
// however long its start or its end.

#include "journal_reader.h"
#include "journal_store.h"
#include "new_name_check.h"
#include "safe_rename.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool StaysInFolder(const std::string& name) {
    return velmora::CheckNewName(name) != velmora::NameFault::LeavesFolder;
}

bool StaysInFolder(const velmora::CJournalFile& file) {
    return StaysInFolder(file.strBefore) && StaysInFolder(file.strAfter) &&
           (file.strTemporary.empty() || velmora::IsTemporaryName(file.strTemporary)) &&
           file.stamp.nNanoseconds < 1000000000;
}

// A clock line's device prints on one line, its offset within what can be set.
bool Printable(const velmora::CJournalClock& clock) {
    for (const char c : clock.strDevice) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return !clock.strDevice.empty() && clock.nOffset >= -velmora::kMaxClockOffset &&
           clock.nOffset <= velmora::kMaxClockOffset;
}

bool SameRun(const velmora::CJournal& summary, const velmora::CJournal& whole) {
    return summary.strDamage.empty() && summary.kind == whole.kind &&
           summary.strFolder == whole.strFolder && summary.nTime == whole.nTime &&
           summary.nTimeNanoseconds == whole.nTimeNanoseconds &&
           summary.strUndoes == whole.strUndoes && summary.clocks == whole.clocks &&
           summary.nFiles == whole.nFiles && summary.state == whole.state &&
           summary.nRenamed == whole.nRenamed && summary.nTouched == whole.nTouched;
}

// The store: a scratch folder, removed when the fuzzer ends.
struct CScratchStore {
    std::string strPath;
    CScratchStore() {
        char folder[] = "/tmp/velmora_fuzz_journals_XXXXXX";
        if (mkdtemp(folder) == nullptr)
            __builtin_trap(); // without the store there is nothing to test
        strPath = folder;
    }
    ~CScratchStore() { std::filesystem::remove_all(strPath); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const CScratchStore scratch;
    const std::string& store = scratch.strPath;
    // The name of a journal of folder 1/2: the store lists it for that folder.
    static const std::string path = store + "/1-2-0000000000000000000000000001.journal";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const std::vector<velmora::CJournal> runs = velmora::CJournalStore(store).Runs({1, 2, 0});
    if (const std::optional<velmora::CJournal> journal = velmora::ReadJournal(path)) {
        if (journal->strDamage.empty() && runs.size() == 1 && !SameRun(runs[0], *journal))
            __builtin_trap();
        for (const velmora::CJournalFile& file : journal->files) {
            if (!StaysInFolder(file))
                __builtin_trap();
        }
        // Undo removes the folders a run made and gives folders their times.
        for (const std::string& folder : journal->folders) {
            if (folder.empty() || !StaysInFolder(folder))
                __builtin_trap();
        }
        for (const velmora::CJournal::CFolderTime& time : journal->folderTimes) {
            // An empty name is the photo folder itself.
            if ((!time.strFolder.empty() && !StaysInFolder(time.strFolder)) ||
                time.nNanoseconds >= 1000000000)
                __builtin_trap();
        }
        for (const velmora::CJournalClock& clock : journal->clocks) {
            if (!Printable(clock))
                __builtin_trap();
        }
        // A folder to make again lies inside the photo folder, never is it.
        for (const velmora::CJournal::CRemovedFolder& folder : journal->removed) {
            if (folder.strFolder.empty() || folder.nMode > 07777 ||
                !StaysInFolder(folder.strFolder))
                __builtin_trap();
        }
    }
    return 0;
}
