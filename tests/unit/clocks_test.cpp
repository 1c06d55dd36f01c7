// Camera clocks: device names and keys, offset texts, the proposals, the
// journal's clock lines, and the terminal commands that use them.

#include "devices.h"
#include "folder_commands.h"
#include "folder_scan.h"
#include "journal_reader.h"
#include "journal_store.h"
#include "jpeg_builder.h"
#include "rename_run.h"
#include "test_support.h"
#include "undo_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace velmora;
using namespace testdata;
using testsupport::CTempDir;

namespace {

TEST(Devices, TextAndKey) {
    const std::tuple<CDeviceId, std::string, std::string> cases[] = {
        {{"Canon", "Canon EOS 6D", "012345"}, "Canon EOS 6D #012345", "canon eos 6d #012345"},
        {{"NIKON CORPORATION", "NIKON D750", ""}, "NIKON D750", "nikon d750"},
        {{"Canon", "Canonet QL17", ""}, "Canon Canonet QL17", "canon canonet ql17"},
        {{"Canon EOS", "6D", ""}, "Canon EOS 6D", "canon eos 6d"},
        {{"", "EOS 6D", ""}, "EOS 6D", "eos 6d"},
        {{"", "", "42"}, "Device #42", "device #42"},
        {{" \t", "\n", ""}, "Unknown device", ""},
        {{"Sony\n", "  ILCE  7M3\t", ""}, "Sony ILCE 7M3", "sony ilce 7m3"},
        {{"\xC3\xA9/M", "A\\B 50%", ""}, "\xC3\xA9/M A\\B 50%", "%c3%a9%2fm a%5cb 50%25"},
    };
    for (const auto& [id, text, key] : cases) {
        EXPECT_EQ(id.Text() + "|" + id.Key(), text + "|" + key);
        EXPECT_EQ(id.Known() ? DeviceKeyOfText(text) : key, key); // typed as it prints
    }
}

TEST(Devices, OffsetTexts) {
    const std::tuple<const char*, std::int64_t, const char*> cases[] = {
        {"+1:05:00", 3900, "+1:05:00"},    {"-0:03", -180, "-0:03:00"}, {"2", 7200, "+2:00:00"},
        {" \t+1:00 ", 3600, "+1:00:00"},   {"-0", 0, "+0:00:00"},       {"0:00:59", 59, "+0:00:59"},
        {"-1000", -3600000, "-1000:00:00"}};
    for (const auto& [text, seconds, printed] : cases) {
        EXPECT_EQ(ParseOffsetSeconds(text), seconds) << text;
        EXPECT_EQ(OffsetSecondsText(seconds), printed);
    }
    for (const char* bad :
         {"1000:00:01", "99999999999999999999", "1:5", "1:60", "1:00:00:00", "", "+-1", "1:", "1h"})
        EXPECT_EQ(ParseOffsetSeconds(bad), std::nullopt) << bad;
    EXPECT_EQ(OffsetSecondsText(INT64_MIN), "-2562047788015215:30:08");
}

// Stored values: what they read as, and how they are written back ("=" as read).
TEST(ClockSpans, SettingsValues) {
    const std::int64_t may1 = testsupport::UtcSeconds(2024, 5, 1, 0, 0, 0) * 1000;
    const std::int64_t day = 86400000;
    const std::tuple<const char*, std::optional<CClockSpan>, const char*> cases[] = {
        {"3900", CClockSpan{3900}, "="}, // stored before spans were kept: every date
        {"-3960|2024-05-01|2024-05-09 19:00:00",
         CClockSpan{-3960, may1, may1 + 8 * day + 19 * 3600000 + 999},
         "-3960|2024-05-01 00:00:00|2024-05-09 19:00:00"},
        {"60||2024-05-01", CClockSpan{60, INT64_MIN, may1 + day - 1}, "60||2024-05-01 23:59:59"},
        {"60|2024-05-01 10:00:00|", CClockSpan{60, may1 + 10 * 3600000}, "="},
        {"0", {}, ""},
        {"60||", {}, ""},
        {"60|2024-05-09|2024-05-01", {}, ""},
        {"60|2024:05:01|", {}, ""},
        {"60|2024-05-01 10:00|", {}, ""},
        {"1:00", {}, ""},
        {"60|a|b|c", {}, ""},
        {"3600001", {}, ""},
    };
    for (const auto& [value, span, written] : cases) {
        EXPECT_EQ(ParseClockSpan(value), span) << value;
        if (span) {
            EXPECT_EQ(ClockSpanValue(*span), std::string_view(written) == "=" ? value : written);
        }
    }
    // The narrowest span that holds a date wins; none outside all of them.
    const CClockSpans spans = {
        {60}, {120, may1, may1 + 9 * day}, {180, may1 + day, may1 + 2 * day}};
    EXPECT_EQ(SpanAt(spans, may1 - 1)->nOffset, 60);
    EXPECT_EQ(SpanAt(spans, may1)->nOffset, 120);
    EXPECT_EQ(SpanAt(spans, may1 + day)->nOffset, 180);
    EXPECT_EQ(SpanAt({spans[1]}, may1 - 1), nullptr);
}

constexpr std::int64_t kNoon = 1700000000000, kHour = 3600000; // ms; noon UTC of one day
CClockSample Zoned(std::int64_t utc, std::int16_t zone) {      // a zone only; the clock right
    return {utc + zone * 60000LL, zone, INT64_MIN};
}

// The wall clock reads `wall` at GPS time `gps`.
CClockSample Gps(std::int64_t wall, std::int64_t gps, std::int16_t zone = INT16_MIN) {
    return {wall, zone, gps};
}

// name, the reference device's samples, the other's, and the offset proposed for it
using ProposalCase = std::tuple<const char*, std::vector<CClockSample>, std::vector<CClockSample>,
                                std::optional<std::int64_t>>;

const std::vector<CClockSample> kPhone = {Zoned(kNoon - kHour, 60), Zoned(kNoon, 60),
                                          Zoned(kNoon + kHour, 60)};

const ProposalCase kProposalCases[] = {
    // 3 min 5 s ahead in the phone's zone (+1).
    {"gps", kPhone, {Gps(kNoon + kHour + 185000, kNoon), Gps(kNoon + kHour + 185600, kNoon)}, -185},
    {"gps-spread-under-2s",
     kPhone,
     {Gps(kNoon + kHour + 1000, kNoon), Gps(kNoon + kHour + 2999, kNoon)},
     -2},
    {"gps-spread-2s", kPhone, {Gps(kNoon + kHour, kNoon), Gps(kNoon + kHour + 2000, kNoon)}, {}},
    {"gps-error-under-1s", kPhone, {Gps(kNoon + kHour + 900, kNoon)}, {}},
    {"gps-own-zone-first", kPhone, {Gps(kNoon + 2 * kHour - 60000, kNoon, 120)}, 60},
    // The phone went from +1 to +3: the zone of its file nearest in time.
    {"gps-nearest-zone",
     {Zoned(kNoon - 5 * kHour, 60), Zoned(kNoon + 5 * kHour, 180)},
     {Gps(kNoon + 7 * kHour + 10000, kNoon + 4 * kHour)},
     -10},
    {"gps-no-zone", {}, {Gps(kNoon + 10000, kNoon)}, {}},
    // The phone's nearest file is a day away: its zone says nothing of then.
    {"gps-zone-a-day-away",
     {Zoned(kNoon - 24 * kHour, 60)},
     {Gps(kNoon + kHour + 9000, kNoon)},
     {}},
    // A camera left on the time of home (+1) on a trip to +9, then +10.
    {"zone", {Zoned(kNoon, 540)}, {Zoned(kNoon + 60000, 60)}, 8 * 3600},
    {"zone-most-files",
     {Zoned(kNoon, 540), Zoned(kNoon + 5 * kHour, 600)},
     {Zoned(kNoon, 60), Zoned(kNoon + 5 * kHour, 60), Zoned(kNoon + 6 * kHour, 60)},
     9 * 3600},
    {"same-zone", kPhone, {Zoned(kNoon, 60)}, {}},
    {"nothing", kPhone, {}, {}},
};

TEST(Devices, ProposalsAndReference) {
    for (const auto& [name, reference, device, proposal] : kProposalCases) {
        CDeviceTable devices(3);
        devices[1].id = {"Phone", "", ""}, devices[1].samples = reference;
        devices[2].id = {"Camera", "", ""}, devices[2].samples = device;
        EXPECT_EQ(COffsetProposals(devices, 1).For(2), proposal) << name;
    }
    // The reference is a known device with the most samples, the first of equals.
    CDeviceTable devices(4);
    devices[0].samples.resize(9), devices[2].samples.resize(2), devices[3].samples.resize(2);
    EXPECT_EQ(ReferenceDevice(devices), 2u);
    EXPECT_EQ(COffsetProposals(devices, 2).For(2), std::nullopt); // not against itself
    EXPECT_EQ(COffsetProposals(devices, 2).For(0), std::nullopt); // nor for the unknown device
}

// Clock lines are read or named as damage; escaped names come back from the store.
TEST(Journal, ClockLines) {
    const std::string field = "line 6: a field is damaged";
    const std::tuple<std::string, std::string, std::vector<CJournalClock>> cases[] = {
        {"", "", {}},
        {"clock 3900 EOS%206D\nclock -180 D%20#1\n", "", {{"EOS 6D", 3900}, {"D #1", -180}}},
        {"clock 3600001 A\n", field, {}}, // over the longest offset
        {"clock +5 A\n", field, {}},
        {"clock 5 A%0AB\n", field, {}},
        {"clock 5 .\n", field, {}},
        {"files 1\nclock 5 A\n", "line 7: out of place", {}},
    };
    CTempDir dir, store;
    for (const auto& [lines, damage, clocks] : cases) {
        std::ofstream(dir.File("j.journal"))
            << "velmora journal 2\nkind rename\nfolder /p\nfolder-id 1 2 0\ntime 1\n"
            << lines << "files 1\nf 1 10 a.jpg . b.jpg\nready\n";
        const CJournal journal = ReadJournal(dir.File("j.journal")).value();
        EXPECT_EQ(std::pair(journal.strDamage, journal.clocks), std::pair(damage, clocks)) << lines;
    }
    CJournal written;
    written.folder = {1, 2, 0}, written.clocks = {{"Canon EOS 6D #0 50%", -3600000}, {"X", 1}};
    written.files.push_back({1, 10, {}, "a.jpg", "", "b.jpg"});
    ASSERT_EQ(CJournalStore(store.Path()).Write(written), 0);
    EXPECT_EQ(CJournalStore(store.Path()).Runs({1, 2, 0}).at(0).clocks, written.clocks);
}

// Offsets reach the rows, devices, journal and history; --shift of an absent device does nothing.
TEST(ClockCommands, OffsetReachesRowsDevicesJournalAndHistory) {
    const testsupport::CScopedTimeZone utc("UTC0");
    CTempDir photos; // journaled in the test program's own state folder
    const CTiffBuilder tiff = CameraTiff(ByteOrder::Intel, "2005:07:01 10:00:00");
    ASSERT_TRUE(WriteFile(photos.File("a.jpg"), CJpegBuilder::Photo(&tiff)));
    CScanOptions scan;
    scan.clocks[DeviceKeyOfText("Quorvant Optics QX-100")] = {{.nOffset = 3900}};
    std::ostringstream list, devices, none, rename, history;
    EXPECT_EQ(RunListCommand(photos.Path(), "%Y%m%d_%H%M%S", scan, true, list), 0);
    EXPECT_NE(list.str().find(R"("converted":"20050701_110500.jpg")"), std::string::npos);
    EXPECT_NE(list.str().find(R"("offset_applied":"+1:05:00")"), std::string::npos);
    EXPECT_EQ(RunDevicesCommand(photos.Path(), scan, false, devices), 0);
    EXPECT_EQ(devices.str(), "Quorvant Optics QX-100\t1\t2005-07-01 10:00:00\t"
                             "2005-07-01 10:00:00\t+1:05:00\t-\tevery date\n");
    EXPECT_EQ(RunRenameCommand(photos.Path(), "%Y", scan, false, none, {"Canon EOS 6D"}), 2);
    EXPECT_EQ(none.str(), "");
    EXPECT_EQ(RunRenameCommand(photos.Path(), "%Y", scan, false, rename), 0);
    EXPECT_EQ(RunHistoryCommand(photos.Path(), history), 0);
    EXPECT_TRUE(history.str().ends_with("\tclocks: Quorvant Optics QX-100 +1:05:00\n"))
        << history.str();
}

// Camera B runs 1 h 05 min behind the phone A; both have GPS times. Only with
// B's proposed offset does the list follow the true order, and a rename in
// that order is undone to the very names.
TEST(ClockScan, OffsetInterleavesTwoDevicesAndRenameUndoes) {
    const testsupport::CScopedTimeZone utc("UTC0");
    CTempDir photos;
    CTempDir state;
    // A photo of `make` taken at `clock` by its own clock (zone +02:00 when
    // given), whose GPS says 10:`gpsMinute` UTC.
    const auto photo = [&](const char* name, const char* make, const char* clock, int gpsMinute,
                           bool zone) {
        testdata::CTiffBuilder t(testdata::ByteOrder::Intel);
        const int exif = t.AddDirectory();
        const int gps = t.AddDirectory();
        t.Ascii(0, 0x010F, make).Ascii(0, 0x0110, "X1");
        t.SubDirectory(0, 0x8769, exif).SubDirectory(0, 0x8825, gps);
        t.Ascii(exif, 0x9003, std::string("2024:05:01 ") + clock);
        if (zone)
            t.Ascii(exif, 0x9011, "+02:00");
        t.Ascii(gps, 0x001D, "2024:05:01");
        testdata::Bytes v;
        for (const std::uint32_t x : {10u, 1u, static_cast<std::uint32_t>(gpsMinute), 1u, 0u, 1u})
            for (const std::uint8_t b : t.U32(x))
                v.push_back(b);
        t.Entry(gps, testdata::MakeEntry(0x0007, 5, 3, v));
        ASSERT_TRUE(testdata::WriteFile(photos.File(name), testdata::CJpegBuilder::Photo(&t)));
    };
    photo("a1.jpg", "Phone", "12:10:00", 10, true);
    photo("a2.jpg", "Phone", "12:30:00", 30, true);
    photo("b1.jpg", "Camera", "11:15:00", 20, false); // 12:20 on the phone's clock
    CScanOptions scan;
    CDeviceTable devices;
    CListRows rows;
    bool listed = false;
    const auto scanned = [&] {
        const unsigned count =
            ScanFolder(photos.Path(), "%H%M", rows, listed, nullptr, scan, nullptr, &devices);
        std::string names;
        for (const CListRow& row : rows)
            names += std::string(row.Text(0)) + '>' + std::string(row.Text(1)) + ' ';
        return std::pair(names, count);
    };
    EXPECT_EQ(scanned().first, "b1.jpg>1115.jpg a1.jpg>1210.jpg a2.jpg>1230.jpg ");
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[ReferenceDevice(devices)].id.Text(), "Phone X1");
    EXPECT_EQ(COffsetProposals(devices, 1).For(2), 3900);

    scan.clocks[devices[2].id.Key()] = {{.nOffset = 3900}};
    const auto [names, count] = scanned();
    EXPECT_EQ(names, "a1.jpg>1210.jpg b1.jpg>1220.jpg a2.jpg>1230.jpg ");
    const CJournalStore journals(state.Path());
    ASSERT_EQ(
        RunRename(photos.Path(), rows, count, nullptr, &journals, ClocksInForce(devices)).kind,
        CRenameOutcome::AllRenamed);
    EXPECT_EQ(scanned().first, "1210.jpg>1210.jpg 1220.jpg>1220.jpg 1230.jpg>1230.jpg ");
    EXPECT_EQ(RunUndo(photos.Path(), journals).outcome.kind, CRenameOutcome::AllRenamed);
    scan.clocks.clear();
    EXPECT_EQ(scanned().first, "b1.jpg>1115.jpg a1.jpg>1210.jpg a2.jpg>1230.jpg ");
}

// An offset set for a 2024 trip leaves the same camera's 2008 photos alone,
// and the window stores it for the span of the folder's files.
TEST(ClockScan, OffsetHoldsOnlyForItsSpan) {
    const testsupport::CScopedTimeZone utc("UTC0");
    CTempDir photos;
    const auto photo = [&](const char* name, const char* date) {
        const CTiffBuilder tiff = CameraTiff(ByteOrder::Intel, date);
        ASSERT_TRUE(WriteFile(photos.File(name), CJpegBuilder::Photo(&tiff)));
    };
    photo("burst_a.jpg", "2008:06:01 15:56:01");
    photo("trip_a.jpg", "2024:05:02 10:00:00");
    photo("trip_b.jpg", "2024:05:03 18:30:00");
    CScanOptions scan;
    CDeviceTable devices;
    CListRows rows;
    bool listed = false;
    const auto scanned = [&] {
        ScanFolder(photos.Path(), "%Y%m%d_%H%M%S", rows, listed, nullptr, scan, nullptr, &devices);
        std::string names;
        for (const CListRow& row : rows)
            names += std::string(row.Text(1)) + ' ';
        return names;
    };
    const std::string key = DeviceKeyOfText("Quorvant Optics QX-100");
    scan.clocks[key] = {{.nOffset = -3960,
                         .nFrom = ParseSpanDate("2024-05-01", true).value(),
                         .nTo = ParseSpanDate("2024-05-09", false).value()}};
    EXPECT_EQ(scanned(), "20080601_155601.jpg 20240502_085400.jpg 20240503_172400.jpg ");
    ASSERT_EQ(devices.size(), 3u); // the camera outside its span, and within it
    EXPECT_EQ(
        std::tuple(devices[1].nFiles, devices[1].nOffset, devices[2].nFiles, devices[2].nOffset),
        std::tuple(1, 0, 2, -3960));

    // The window sets the 2008 entry: stored for its own dates, the trip's kept.
    std::vector<std::int64_t> offsets = {0, 60, -3960};
    const CClockOffsets changed = ChangedClocks(devices, offsets);
    ASSERT_EQ(changed.count(key), 1u);
    EXPECT_EQ(SpanText(changed.at(key).back()), "2008-06-01 15:56:01 to 2008-06-01 15:56:01");
    scan.clocks = changed;
    EXPECT_EQ(scanned(), "20080601_155701.jpg 20240502_085400.jpg 20240503_172400.jpg ");
    // An offset of 0 for the trip's entry removes that span alone.
    offsets.clear();
    for (const CDevice& device : devices)
        offsets.push_back(device.nOffset == -3960 ? 0 : device.nOffset);
    EXPECT_EQ(ChangedClocks(devices, offsets).at(key), (CClockSpans{changed.at(key).back()}));
}

// Two models alike in the 39 bytes the information record keeps are two
// devices, each named in full.
TEST(ClockScan, ModelsAlikeInTheirFirst39BytesAreTwoDevices) {
    CTempDir photos;
    const std::string model = "QX-100 Mark II Field Edition, body no. 00000";
    for (const char* body : {"1", "2"}) {
        CTiffBuilder t(ByteOrder::Intel);
        t.Ascii(0, 0x010F, "Quorvant").Ascii(0, 0x0110, model + body);
        ASSERT_TRUE(WriteFile(photos.File(std::string(body) + ".jpg"), CJpegBuilder::Photo(&t)));
    }
    CDeviceTable devices;
    CListRows rows;
    bool listed = false;
    ScanFolder(photos.Path(), "%H%M", rows, listed, nullptr, {}, nullptr, &devices);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[1].id.Text() + "|" + devices[2].id.Text(),
              "Quorvant " + model + "1|Quorvant " + model + "2");
}

} // namespace
