// velmora-cli: option parsing, the JSON writer, the lines of "info --json" and
// the window's settings file.

#include "cli_options.h"
#include "clocks_command.h"
#include "info_command.h"
#include "jpeg_builder.h"
#include "jpeg_file.h"
#include "json_writer.h"
#include "stored_format.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::literals;
using testdata::ByteOrder;
using testdata::Bytes;
using testdata::CJpegBuilder;
using testsupport::CScopedTimeZone;
using testsupport::CTempDir;

namespace {

using testsupport::operator<<;

using Command = CCliOptions::Command;

// Arguments and operands are given as words separated by blanks.
struct OptionsCase {
    const char* name;
    const char* args; // after the program name
    Command command;
    bool json;
    const char* operands;
    const char* error;
};

std::vector<std::string> Words(const char* text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        std::replace(word.begin(), word.end(), '~', ' '); // a blank inside one word
        words.push_back(word);
    }
    return words;
}

class CliOptions : public testing::TestWithParam<OptionsCase> {};

TEST_P(CliOptions, ParsesTheCommandLine) {
    const OptionsCase& c = GetParam();
    const std::vector<std::string> args = Words(c.args);
    std::vector<const char*> argv = {"velmora-cli"};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    const CCliOptions options = ParseCliOptions(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(options.error, c.error);
    if (options.error.empty()) {
        EXPECT_EQ(options.command, c.command);
        EXPECT_EQ(options.json, c.json);
        EXPECT_EQ(options.operands, Words(c.operands));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliOptions,
    testing::Values(
        OptionsCase{"NoArguments", "", Command::None, false, "", "missing command"},
        OptionsCase{"Help", "--help", Command::Help, false, "", ""},
        OptionsCase{"ShortHelp", "-h", Command::Help, false, "", ""},
        OptionsCase{"Version", "--version", Command::Version, false, "", ""},
        OptionsCase{"UnknownCommand", "show", Command::None, false, "", "unknown command 'show'"},
        OptionsCase{"InfoWithoutJsonIsText", "info a.jpg", Command::Info, false, "a.jpg", ""},
        OptionsCase{"InfoWithoutFiles", "info --json", Command::Info, true, "",
                    "info needs at least one FILE"},
        OptionsCase{"UnknownOption", "info --json --xml a.jpg", Command::Info, true, "",
                    "unknown option '--xml'"},
        OptionsCase{"InfoTakesNoFormat", "info --json --format %Y a.jpg", Command::Info, true, "",
                    "info takes no --format"},
        OptionsCase{"LoneDashIsAFile", "info --json -", Command::Info, true, "-", ""},
        OptionsCase{"FilesInOrder", "info --json b.jpg a.jpg", Command::Info, true, "b.jpg a.jpg",
                    ""},
        OptionsCase{"JsonAfterFiles", "info a.jpg --json", Command::Info, true, "a.jpg", ""},
        OptionsCase{"DashesEndOptions", "info --json -- -x.jpg --json", Command::Info, true,
                    "-x.jpg --json", ""},
        OptionsCase{"JsonAfterDashesIsAFile", "info -- --json", Command::Info, false, "--json", ""},
        OptionsCase{"UndatedChoice", "list --undated=files d", Command::List, false, "d", ""},
        OptionsCase{"UndatedUnknown", "list --undated all d", Command::List, false, "",
                    "--undated takes none, names or files, not 'all'"},
        OptionsCase{"UndatedWithoutValue", "list d --undated", Command::List, false, "",
                    "--undated needs a value"},
        OptionsCase{"UndoTakesNoUndated", "undo --undated names d", Command::Undo, false, "",
                    "undo and history take no --format, --types, --companions or --undated"},
        OptionsCase{"ExtensionCase", "rename --ext=lower d", Command::Rename, false, "d", ""},
        OptionsCase{"ExtensionCaseUnknown", "list --ext title d", Command::List, false, "",
                    "--ext takes keep, lower or upper, not 'title'"},
        OptionsCase{"ExtensionCaseNotForDevices", "devices --ext upper d", Command::Devices, false,
                    "", "only list and rename take --ext"},
        OptionsCase{"RemoveEmptyAndSetTimes", "rename --remove-empty --set-file-times d",
                    Command::Rename, false, "d", ""},
        OptionsCase{"RemoveEmptyOnlyForRename", "list --remove-empty d", Command::List, false, "",
                    "only rename takes --remove-empty"},
        OptionsCase{"SetTimesOnlyForRename", "undo --set-file-times d", Command::Undo, false, "",
                    "only rename takes --set-file-times"},
        OptionsCase{"Devices", "devices --json --shift A=+1 d", Command::Devices, true, "d", ""},
        OptionsCase{"DevicesTakesNoFormat", "devices --format %Y d", Command::Devices, false, "",
                    "devices takes no --format"},
        OptionsCase{"ShiftBadOffset", "list --shift A=1:5 d", Command::List, false, "",
                    "--shift takes DEVICE=OFFSET such as 'Canon EOS 6D=+1:05:00', not 'A=1:5'"},
        OptionsCase{"ShiftNotForUndo", "undo --shift A=1 d", Command::Undo, false, "",
                    "only list, rename and devices take --shift"},
        OptionsCase{"ClocksSetNegative", "clocks set Canon -0:03", Command::Clocks, false,
                    "set Canon -0:03", ""},
        OptionsCase{"ClocksBadOffset", "clocks set Canon 1:60", Command::Clocks, false, "",
                    "the offset '1:60' is not [+|-]H[:MM[:SS]] (at most 1000 hours)"},
        OptionsCase{"ClocksClearAlone", "clocks clear A B", Command::Clocks, false, "",
                    "clocks clear needs DEVICE alone"},
        OptionsCase{"ClocksTakesNoJson", "clocks --json clear A", Command::Clocks, true, "",
                    "clocks takes no options but --from and --to"},
        OptionsCase{"ClocksSetSpan", "clocks set A +1 --from 2024-05-01 --to=2024-05-09",
                    Command::Clocks, false, "set A +1", ""},
        OptionsCase{"ClocksSpanBadDate", "clocks set A +1 --from 2024-05", Command::Clocks, false,
                    "",
                    "--from takes a date as YYYY-MM-DD or 'YYYY-MM-DD HH:MM:SS', not '2024-05'"},
        OptionsCase{"ClocksSpanReversed", "clocks set A +1 --from 2024-05-09 --to 2024-05-01",
                    Command::Clocks, false, "", "--from is after --to"},
        OptionsCase{"ClocksSpanOnlyForSet", "clocks clear A --to 2024-05-01", Command::Clocks,
                    false, "", "only clocks set takes --from and --to"},
        OptionsCase{"SpanNotForList", "list --from 2024-05-01 d", Command::List, false, "",
                    "only clocks set takes --from and --to"},
        OptionsCase{"ClocksList", "clocks list", Command::Clocks, false, "list", ""},
        OptionsCase{"DeviceNamedUnknownDevice", "clocks set Unknown~device +1", Command::Clocks,
                    false, "set Unknown~device +1", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct StringCase {
    const char* name;
    std::string_view text;
    std::string_view json;
};

class JsonStringEscape : public testing::TestWithParam<StringCase> {};

TEST_P(JsonStringEscape, GivesAValidLiteral) {
    EXPECT_EQ(JsonString(GetParam().text), GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonStringEscape,
    testing::Values(StringCase{"PlainAscii", "abc"sv, "\"abc\""sv},
                    StringCase{"QuoteAndBackslash", "a\"b\\c"sv, "\"a\\\"b\\\\c\""sv},
                    StringCase{"NamedControls", "\n\r\t"sv, "\"\\n\\r\\t\""sv},
                    StringCase{"OtherControls", "\x01\x1f\x7f"sv, "\"\\u0001\\u001f\\u007f\""sv},
                    StringCase{"EmbeddedNul", "a\0b"sv, "\"a\\u0000b\""sv},
                    StringCase{"ValidTwoByteKept", "caf\xC3\xA9"sv, "\"caf\xC3\xA9\""sv},
                    StringCase{"ValidThreeAndFourByteKept", "\xE2\x82\xAC\xF0\x9F\x98\x80"sv,
                               "\"\xE2\x82\xAC\xF0\x9F\x98\x80\""sv},
                    StringCase{"Latin1ByteReplaced", "caf\xE9!"sv, "\"caf\xEF\xBF\xBD!\""sv},
                    StringCase{"SequenceCutAtEnd", "\xE2\x82"sv, "\"\xEF\xBF\xBD\xEF\xBF\xBD\""sv},
                    StringCase{"LeadBeforeAscii", "\xC3("sv, "\"\xEF\xBF\xBD(\""sv},
                    StringCase{"OverlongSlash", "\xC0\xAF"sv, "\"\xEF\xBF\xBD\xEF\xBF\xBD\""sv},
                    StringCase{"Surrogate", "\xED\xA0\x80"sv,
                               "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""sv},
                    StringCase{"AboveUnicodeRange", "\xF4\x90\x80\x80"sv,
                               "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""sv}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JsonObject, KeepsFieldsInOrderWithTheirTypes) {
    EXPECT_EQ(CJsonObject().Finish(), "{}");
    EXPECT_EQ(CJsonObject()
                  .Text("a\"", "x")
                  .Null("b")
                  .Bool("c", false)
                  .Integer("d", -5)
                  .Float("e", 0.5)
                  .Finish(),
              R"({"a\"":"x","b":null,"c":false,"d":-5,"e":0.5})");
}

TEST(JsonObject, FloatsHaveSixSignificantDigits) {
    const struct {
        double value;
        const char* json;
    } cases[] = {
        {55.0, "55"},
        {26.00961, "26.0096"},
        {1.0 / 3, "0.333333"},
        {-2.0 / 3, "-0.666667"},
        {1234567.0, "1.23457e+06"},
        {0.0000123456789, "1.23457e-05"},
        {0.0, "0"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
        {-std::numeric_limits<double>::infinity(), "null"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CJsonObject().Float("v", c.value).Finish(), "{\"v\":"s + c.json + "}") << c.value;
}

// The fields of a record that is all zero, as after a failed read.
const std::string kEmptyRecord =
    R"("file_name":"","file_time":0,"make":"","model":"","date_taken":null,"date_value":0,)"
    R"("date_source":null,"offset":null,)"
    R"("width":0,"height":0,"color":0,"process":0,"orientation":0,"flash":0,)"
    R"("focal_length":0,"exposure_time":0,"aperture":0,"distance":0,"ccd_width":0,)"
    R"("exposure_bias":0,"white_balance":0,"metering_mode":0,"exposure_program":0,"iso":0,)"
    R"("comment":""})";

class InfoJson : public testing::Test {
protected:
    std::string Write(const char* name, const Bytes& bytes) {
        const std::string path = m_dir.File(name);
        EXPECT_TRUE(testdata::WriteFile(path, bytes));
        const timespec times[2] = {{kFileTime, 0}, {kFileTime, 0}};
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    }
    std::string CameraFile(const char* name) {
        const auto tiff = testdata::CameraTiff(ByteOrder::Intel, "2005:07:25 18:55:28");
        return Write(name, CJpegBuilder::Photo(&tiff, 640, 480));
    }
    std::string Line(const std::string& path) {
        const bool ok = m_reader.LoadJpeg(path.c_str());
        return InfoJsonLine(path, ok, m_reader);
    }
    static std::string Head(const std::string& path, bool ok, int id, const char* error) {
        return R"({"file":")" + path + R"(","ok":)" + (ok ? "true" : "false") + R"(,"error_id":)" +
               std::to_string(id) + R"(,"error":)" + (error ? "\""s + error + "\"" : "null"s) + ",";
    }

    static constexpr std::time_t kFileTime = 1121367328;
    CScopedTimeZone m_tz{"UTC0"};
    CTempDir m_dir;
    CJpegFile m_reader;
};

TEST_F(InfoJson, CameraFileGivesEveryFieldInOrder) {
    const std::string path = CameraFile("camera.jpg");
    EXPECT_EQ(Line(path),
              Head(path, true, 0, nullptr) + R"("file_name":")" + path +
                  R"(","file_time":1121367328,"make":"Quorvant Optics","model":"QX-100",)"
                  R"("date_taken":"2005-07-25 18:55:28","date_value":1122317728,)"
                  R"("date_source":"exif-original","offset":null,"width":640,)"
                  R"("height":480,"color":1,"process":192,"orientation":1,"flash":1,)"
                  R"("focal_length":55,"exposure_time":0.004,"aperture":2.8,"distance":0,)"
                  R"("ccd_width":26.0096,"exposure_bias":-0.666667,"white_balance":1,)"
                  R"("metering_mode":5,"exposure_program":2,"iso":200,"comment":""})");
}

TEST_F(InfoJson, FileWithoutExifHasNullDate) {
    const std::string path = Write("plain.jpg", CJpegBuilder::Photo(nullptr, 8, 4));
    const std::string line = Line(path);
    EXPECT_EQ(line.rfind(Head(path, true, 0, nullptr), 0), 0u) << line;
    EXPECT_NE(
        line.find(
            R"("date_taken":null,"date_value":0,"date_source":null,"offset":null,"width":8,)"),
        std::string::npos)
        << line;
}

TEST_F(InfoJson, ReadProblemsNameTheirReason) {
    const Bytes badByteOrder = {'I', 'M', 42, 0, 8, 0, 0, 0};
    const struct {
        const char* name;
        Bytes bytes;
        bool ok;
        int id;
        const char* error;
    } cases[] = {
        {"not-a-jpeg.jpg", testdata::ToBytes("hello"), false, 10008, "Invalid JPEG file!"},
        {"cut-short.jpg", CJpegBuilder().Soi().SectionWithLength(0xFE, 100, {'a'}).Data(), false,
         10004, "Premature end of file?"},
        // A broken EXIF block is reported, yet the file is still read.
        {"bad-exif.jpg", CJpegBuilder().Soi().Exif(badByteOrder).FrameHeader(8, 8, 3).Sos().Data(),
         true, 10007, "Incorrect Exif header"},
    };
    for (const auto& c : cases) {
        const std::string path = Write(c.name, c.bytes);
        const std::string line = Line(path);
        EXPECT_EQ(line.rfind(Head(path, c.ok, c.id, c.error), 0), 0u) << line;
    }
}

TEST_F(InfoJson, FileThatCannotBeOpenedIsInvalidJpeg) {
    const std::string path = m_dir.File("missing.jpg");
    EXPECT_EQ(Line(path), Head(path, false, 0, "Invalid JPEG file!") + kEmptyRecord);
}

TEST_F(InfoJson, RunReportsEachFileAndFailsWhenOneFails) {
    const std::string first = CameraFile("first.jpg");
    const std::string second = CameraFile("second.jpg");
    std::ostringstream out;
    EXPECT_EQ(RunInfoJson({first, second}, false, out), 0);
    std::istringstream lines(out.str());
    for (const std::string& path : {first, second}) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line.rfind(Head(path, true, 0, nullptr), 0), 0u) << line;
    }
    EXPECT_TRUE(lines.peek() == EOF);
}

// The reader leaves its record untouched when a file cannot be opened; the
// line of that file must not show the previous file's camera data.
TEST_F(InfoJson, UnopenableFileAfterGoodOneShowsAnEmptyRecord) {
    const std::string good = CameraFile("good.jpg");
    const std::string missing = m_dir.File("missing.jpg");
    std::ostringstream out;
    EXPECT_EQ(RunInfoJson({good, missing}, false, out), 1);
    const std::string text = out.str();
    const std::string expected = Head(missing, false, 0, "Invalid JPEG file!") + kEmptyRecord;
    ASSERT_GE(text.size(), expected.size() + 1);
    EXPECT_EQ(text.substr(text.size() - expected.size() - 1), expected + "\n");
}

} // namespace

// The terminal front end reads the format (and the extension case) the window
// stored, from the window's own settings file; nothing stored means no format.
TEST(StoredFormat, ReadsTheWindowsLastFormat) {
    CTempDir config;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    EXPECT_FALSE(StoredFormat().has_value());
    std::filesystem::create_directories(config.File("Quorvant"));
    std::ofstream(config.File("Quorvant/Velmora.conf"))
        << "[Settings]\nDefault%20Format=Trip_%Y-%m-%d_%C\nExtension%20Case=upper\n";
    EXPECT_EQ(StoredFormat().value_or("none"), "Trip_%Y-%m-%d_%C");
    EXPECT_EQ(StoredScanSettings().extensionCase, velmora::ExtensionCase::Upper);
    if (old != nullptr)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

namespace {

// The window's settings file as found on disk (nullptr: a FIFO in its place),
// the format read from it and why it can't be used.
struct StoredSettingsCase {
    const char* name;
    const char* bytes;
    const char* format;  // "" when none is read
    const char* problem; // after the file's name; "" when it can be used
};

class StoredSettings : public testing::TestWithParam<StoredSettingsCase> {
protected:
    void SetUp() override { setenv("XDG_CONFIG_HOME", m_config.Path().c_str(), 1); }
    void TearDown() override {
        m_saved ? setenv("XDG_CONFIG_HOME", m_saved->c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    }

    const std::optional<std::string> m_saved =
        std::getenv("XDG_CONFIG_HOME") ? std::optional<std::string>(std::getenv("XDG_CONFIG_HOME"))
                                       : std::nullopt;
    CTempDir m_config;
};

TEST_P(StoredSettings, FileIsReadWholeOrLeftAlone) {
    const StoredSettingsCase& c = GetParam();
    const std::string file = m_config.File("Quorvant/Velmora.conf");
    std::filesystem::create_directories(m_config.File("Quorvant"));
    if (c.bytes != nullptr) {
        std::ofstream(file, std::ios::binary) << c.bytes;
    } else {
        ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    }
    // A reader that opens the FIFO is let go, so that it fails the case
    // instead of blocking it.
    std::atomic<bool> opened = false;
    std::jthread writer([&](std::stop_token stop) {
        for (; !stop.stop_requested() && c.bytes == nullptr; std::this_thread::sleep_for(1ms))
            if (const int fd = open(file.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0)
                opened = true, close(fd);
    });
    const std::string problem = *c.problem ? "the settings file " + file + c.problem : "";
    EXPECT_EQ(StoredSettingsProblem(), problem);
    EXPECT_EQ(StoredFormat().value_or(""), c.format);
    // Two spans, as a list in the file; one of them for every date.
    const velmora::CClockSpans spans = {
        {.nOffset = 3600},
        {.nOffset = -60,
         .nFrom = velmora::ParseSpanDate("2024-05-01", true).value(),
         .nTo = velmora::ParseSpanDate("2024-05-09", false).value()}};
    const std::string error = StoreClockSpans("canon", spans);
    writer.request_stop();
    writer.join();
    EXPECT_FALSE(opened);
    EXPECT_EQ(error, problem.empty() ? "" : problem + "; nothing was stored");
    if (problem.empty()) {
        EXPECT_EQ(StoredClockOffsets(), (velmora::CClockOffsets{{"canon", spans}}));
        EXPECT_EQ(StoredFormat().value_or(""), c.format);
    } else {
        EXPECT_EQ(c.bytes ? testsupport::ReadBytes(file) : "", c.bytes ? c.bytes : "");
        EXPECT_EQ(std::filesystem::is_fifo(file), c.bytes == nullptr);
    }
}

// Stored clock offsets through the terminal: each command, its output and status.
TEST_F(StoredSettings, ClocksCommandsStoreListAndRemoveSpans) {
    const std::tuple<std::vector<const char*>, int, std::string> steps[] = {
        {{"set", "Canon EOS 6D", "+1", "--from=2024-05-01", "--to", "2024-05-09"},
         0,
         "Canon EOS 6D: clock offset +1:00:00 stored for 2024-05-01 00:00:00 to 2024-05-09 "
         "23:59:59\n"},
        {{"set", "canon  eos 6d", "-0:03"},
         0,
         "canon  eos 6d: clock offset -0:03:00 stored for every date\n"},
        {{"list"},
         0,
         "canon eos 6d\t+1:00:00\t2024-05-01 00:00:00\t2024-05-09 23:59:59\n"
         "canon eos 6d\t-0:03:00\t-\t-\n"},
        {{"set", "Canon EOS 6D", "0", "--from=2024-05-01", "--to=2024-05-09"},
         0,
         "Canon EOS 6D: clock offset removed for 2024-05-01 00:00:00 to 2024-05-09 23:59:59\n"},
        {{"list"}, 0, "canon eos 6d\t-0:03:00\t-\t-\n"},
        {{"clear", "Canon EOS 6D"}, 0, "Canon EOS 6D: every clock offset removed\n"},
        {{"clear", "Canon EOS 6D"}, 1, ""},
        {{"list"}, 0, ""},
    };
    for (const auto& [words, status, printed] : steps) {
        std::vector<const char*> argv = {"velmora-cli", "clocks"};
        argv.insert(argv.end(), words.begin(), words.end());
        const CCliOptions options = ParseCliOptions(static_cast<int>(argv.size()), argv.data());
        ASSERT_EQ(options.error, "");
        std::ostringstream out, err;
        EXPECT_EQ(RunClocksCommand(options, out, err), status) << words[0] << err.str();
        EXPECT_EQ(out.str(), printed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoredSettings,
    testing::Values(
        StoredSettingsCase{"ByteOrderMark",
                           "\xEF\xBB\xBF; a \"comment\n[Settings]\nDefault%20Format=\"Pic;%C\"\n",
                           "Pic;%C", ""},
        StoredSettingsCase{"UnterminatedQuote",
                           "[Settings]\nDefault%20Format=\"Img%Y\nCompanions=true\n", "",
                           " is damaged: line 2 opens a quote that it does not close"},
        StoredSettingsCase{"LineWithoutEquals", "[Settings]\nDefault%20Format=Pic_%C\nPic_%Y\n", "",
                           " is damaged: line 3 is not a setting"},
        StoredSettingsCase{"Fifo", nullptr, "", " is not a regular file"}),
    [](const testing::TestParamInfo<StoredSettingsCase>& info) { return info.param.name; });

} // namespace
