#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "TempDir.h"
#include "settings/Ini.h"

namespace quellon {
namespace {

using test::slurp;
using test::spit;

class IniTest : public ::testing::Test {
protected:
    test::TempDir tmp;
    std::string ini = tmp.file("Quellon.ini");
};

TEST_F(IniTest, MissingFileReadsDefaultAndWritesItBack) {
    EXPECT_EQ(ReadIni("Bridge", "GUI", ini, "0"), "0");
    EXPECT_EQ(slurp(ini), "[Bridge]\nGUI=0\n");
    EXPECT_FALSE(IniLookup("Bridge", "Port", ini));
    EXPECT_EQ(slurp(ini), "[Bridge]\nGUI=0\n") << "a lookup writes nothing";
}

TEST_F(IniTest, NamesMatchWithoutCaseAndValuesAreTrimmed) {
    spit(ini, "[ bridge ]\n  PORT  =  3 \t\n");
    EXPECT_EQ(ReadIni("Bridge", "Port", ini, "1"), "3");
    WriteIni("BRIDGE", "port", "4", ini);
    EXPECT_EQ(slurp(ini), "[ bridge ]\nPORT=4\n") << "key keeps its spelling, no second key";
}

TEST_F(IniTest, EmptyOrBlankValueCountsAsMissing) {
    spit(ini, "[Bridge]\nGUI=\nPort=   \nSetting=x\n");
    EXPECT_EQ(ReadIni("Bridge", "GUI", ini, "0"), "0");
    EXPECT_EQ(ReadIni("Bridge", "Port", ini, "1"), "1");
    EXPECT_EQ(slurp(ini), "[Bridge]\nGUI=0\nPort=1\nSetting=x\n");
}

TEST_F(IniTest, LongValuesReadBackCutTo254) {
    WriteIni("Bridge", "ChannelA", std::string(300, 'x'), ini);
    EXPECT_EQ(ReadIni("Bridge", "ChannelA", ini, "d"), std::string(254, 'x'));
    EXPECT_NE(slurp(ini).find(std::string(300, 'x')), std::string::npos) << "stored whole";
    // A cut never leaves half a UTF-8 character behind.
    WriteIni("Bridge", "ChannelB", std::string(253, 'x') + "\xC3\xA9", ini);
    EXPECT_EQ(ReadIni("Bridge", "ChannelB", ini, "d"), std::string(253, 'x'));
}

TEST_F(IniTest, KeepsLinesItDoesNotUnderstandInOrder) {
    const std::string before =
        "; written by hand\n\nstray=top\n[Other]\nfoo=bar\nno equals sign\n"
        "[Bridge]\nPort=2\n; note\n\n[Gauge]\nPeakA=1\n";
    spit(ini, before);
    WriteIni("Bridge", "Setting", "9600,N,8,1", ini);  // new key into an existing section
    WriteIni("Bridge", "Port", "5", ini);
    WriteIni("Test", "VRef", "250", ini);  // missing section goes to the end
    EXPECT_EQ(slurp(ini),
              "; written by hand\n\nstray=top\n[Other]\nfoo=bar\nno equals sign\n"
              "[Bridge]\nPort=5\nSetting=9600,N,8,1\n; note\n\n[Gauge]\nPeakA=1\n"
              "[Test]\nVRef=250\n");
    EXPECT_FALSE(IniLookup("Bridge", "stray", ini)) << "keys before any section belong to none";
    EXPECT_FALSE(IniLookup("Bridge", "; note", ini));
}

TEST_F(IniTest, DuplicatesAndDamagedHeaders) {
    spit(ini, "[Bridge]\nPort=1\nPort=2\n[Brid\nGUI=3\n[Bridge]\nSetting=s\n");
    EXPECT_EQ(IniLookup("Bridge", "Port", ini), "1") << "first one wins";
    EXPECT_EQ(IniLookup("Bridge", "GUI", ini), "3") << "an unclosed header opens nothing";
    EXPECT_EQ(IniLookup("Bridge", "Setting", ini), "s") << "repeated section is searched too";
    WriteIni("Bridge", "Port", "7", ini);
    EXPECT_EQ(slurp(ini), "[Bridge]\nPort=7\nPort=2\n[Brid\nGUI=3\n[Bridge]\nSetting=s\n");
}

TEST_F(IniTest, CrlfFilesAreReadAndStayCrlf) {
    spit(ini, "\xEF\xBB\xBF[Bridge]\r\nPort=3\r\n; c\r\n");
    EXPECT_EQ(IniLookup("Bridge", "Port", ini), "3");
    WriteIni("Bridge", "GUI", "1", ini);
    EXPECT_EQ(slurp(ini), "\xEF\xBB\xBF[Bridge]\r\nPort=3\r\nGUI=1\r\n; c\r\n");
}

TEST_F(IniTest, TruncatedFileKeepsWhatIsThere) {
    spit(ini, "[Bridge]\nPort=3\nGU");
    EXPECT_EQ(IniLookup("Bridge", "Port", ini), "3");
    EXPECT_EQ(ReadIni("Bridge", "GUI", ini, "0"), "0");
    EXPECT_EQ(slurp(ini), "[Bridge]\nPort=3\nGUI=0\nGU\n");
}

TEST_F(IniTest, BinaryOrHugeFileReadsDefaultsAndIsReplacedWhole) {
    for (const std::string& junk : {std::string("[Bridge]\nPort=3\n\0\x01\xff", 19),
                                    "[Bridge]\nPort=3\n" + std::string((1u << 20) + 10, 'z')}) {
        spit(ini, junk);
        EXPECT_EQ(ReadIni("Bridge", "Port", ini, "1"), "1");
        EXPECT_EQ(slurp(ini), "[Bridge]\nPort=1\n") << "fresh file, no cut copy of the old one";
    }
}

TEST_F(IniTest, UnsafeNamesAndLineBreaksCannotReshapeTheFile) {
    WriteIni("Bridge", "ChannelA", "ant\n[Evil]\nGUI=4", ini);
    EXPECT_EQ(slurp(ini), "[Bridge]\nChannelA=ant\n");
    WriteIni("Bridge", "a=b", "1", ini);
    WriteIni("Bridge", "[x", "1", ini);
    WriteIni("Brid]ge", "k", "1", ini);
    WriteIni("Bridge", " ", "1", ini);
    EXPECT_EQ(slurp(ini), "[Bridge]\nChannelA=ant\n");
    EXPECT_EQ(ReadIni("Bridge", "a=b", ini, "d"), "d");
}

TEST_F(IniTest, WriteIsAtomicAndKeepsModeAndSymlinks) {
    const std::string real = tmp.file("real.ini");
    spit(real, "[Bridge]\nPort=2\n");
    ::chmod(real.c_str(), 0600);
    std::filesystem::create_symlink(real, ini);
    WriteIni("Bridge", "Port", "3", ini);
    EXPECT_TRUE(std::filesystem::is_symlink(ini));
    EXPECT_EQ(slurp(real), "[Bridge]\nPort=3\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(tmp.dir())) ++entries;
    EXPECT_EQ(entries, 2) << "no temporary file left behind";
}

TEST_F(IniTest, UnwritableOrUnreadablePlacesFailSilently) {
    const std::string nowhere = tmp.file("no/such/dir/Quellon.ini");
    EXPECT_EQ(ReadIni("Bridge", "GUI", nowhere, "0"), "0");
    EXPECT_FALSE(std::filesystem::exists(nowhere));
    // A directory where the file should be is neither read nor replaced.
    std::filesystem::create_directory(ini);
    EXPECT_EQ(ReadIni("Bridge", "GUI", ini, "0"), "0");
    EXPECT_TRUE(std::filesystem::is_directory(ini));
}

TEST_F(IniTest, RandomBytesNeverCrash) {
    std::mt19937 rng(1234);
    const std::string alphabet = "[]=;\r\n \tabBRIDGEport\x80\xC3\xff";
    for (int round = 0; round < 300; ++round) {
        std::string junk(rng() % 400, ' ');
        for (char& c : junk) c = alphabet[rng() % alphabet.size()];
        spit(ini, junk);
        const std::string v = ReadIni("bridge", "PORT", ini, "1");
        EXPECT_LE(v.size(), 254u);
        EXPECT_EQ(ReadIni("Bridge", "Port", ini, "1"), v) << "value stable after write-back";
    }
}

}  // namespace
}  // namespace quellon
