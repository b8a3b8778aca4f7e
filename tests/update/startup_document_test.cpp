// The start-up check's reading of the update document as JSON.
#include "update/startup_document.h"

#include <gtest/gtest.h>

#include <string>

namespace qb::update {
namespace {

constexpr const char* kGood =
    R"({"Fernhollow":[{"Version":"1.0.0.20","Nversion":"1.0.0.23","Update_URL":"http://example/q.exe"},)"
    R"({"Version":"9","Nversion":"9.9.9.9","Update_URL":"x"}],"Other":[{"Nversion":"5"}]})";

TEST(StartupDocumentTest, ReadsTheFirstEntry) {
    const StartupDocument d = ReadStartupDocument(kGood);
    EXPECT_EQ(d.version, "1.0.0.20");
    EXPECT_EQ(d.nversion, "1.0.0.23");
    EXPECT_EQ(d.updateUrl, "http://example/q.exe");
    EXPECT_TRUE(AdvertisesOtherVersion(d));
}

TEST(StartupDocumentTest, OnlyAnotherNonEmptyNversionSpeaks) {
    struct Case {
        const char* json;
        const char* nversion;
        bool speaks;
    };
    const Case cases[] = {
        {R"({"Fernhollow":[{"Nversion":"1.0.0.22"}]})", "1.0.0.22", false},
        {R"({"Fernhollow":[{"Nversion":""}]})", "", false},
        {R"({"Fernhollow":[{"Version":"1.0.0.22","Update_URL":"u"}]})", "", false},
        {R"({"Fernhollow":[{"Nversion":"1.0.0.21"}]})", "1.0.0.21", true},  // any difference counts
        {R"({"Fernhollow":[{"Nversion":"1.0.0.22 "}]})", "1.0.0.22 ", true},
        {R"({"Fernhollow":[{"Nversion":"1.0.0.23"}]} trailing words)", "1.0.0.23", true},
        {"\xEF\xBB\xBF{\"Fernhollow\":[{\"Nversion\":\"2.0.0.0\"}]}", "2.0.0.0", true},  // byte-order mark
    };
    for (const Case& c : cases) {
        const StartupDocument d = ReadStartupDocument(c.json);
        EXPECT_EQ(d.nversion, c.nversion) << c.json;
        EXPECT_EQ(AdvertisesOtherVersion(d), c.speaks) << c.json;
    }
}

TEST(StartupDocumentTest, OtherShapesGiveEmptyTexts) {
    const char* shapes[] = {
        R"([{"Fernhollow":[{"Nversion":"2"}]}])",
        R"({"fernhollow":[{"Nversion":"2.0.0.0"}]})",
        R"({"Fernhollow":{"Nversion":"2.0.0.0"}})",
        R"({"Fernhollow":[]})",
        R"({"Fernhollow":["2.0.0.0"]})",
        R"({"Fernhollow":[[{"Nversion":"2.0.0.0"}]]})",
        R"({"Fernhollow":[null,{"Nversion":"2.0.0.0"}]})",
        R"({"Fernhollow":[{"Nversion":2,"Version":{"a":1},"Update_URL":["u"]}]})",
        R"({"Fernhollow":[{"Nversion":null}]})",
        R"("Fernhollow")",
        "42",
        "null",
    };
    for (const char* json : shapes) {
        const StartupDocument d = ReadStartupDocument(json);
        EXPECT_EQ(d.version, "") << json;
        EXPECT_EQ(d.nversion, "") << json;
        EXPECT_EQ(d.updateUrl, "") << json;
        EXPECT_FALSE(AdvertisesOtherVersion(d)) << json;
    }
}

TEST(StartupDocumentTest, NonJsonAndTruncatedDocumentsGiveEmptyTexts) {
    const std::string good = kGood;
    const std::string notJson[] = {
        "",
        "<products><product name=\"Velmora Quillbrook\" version=\"1.0.0.23\"/></products>",
        "HTTP/1.1 404 Not Found",
        std::string("\0\0\0\0", 4),
    };
    for (const std::string& bytes : notJson) EXPECT_EQ(ReadStartupDocument(bytes).nversion, "") << bytes;
    // Every proper prefix of the document is cut inside its outer object.
    for (std::size_t n = 0; n < good.size(); ++n) {
        EXPECT_EQ(ReadStartupDocument(good.substr(0, n)).nversion, "") << n;
    }
}

TEST(StartupDocumentTest, HugeDocumentsDoNotBreakTheReader) {
    // Nesting far beyond the reader's depth limit.
    const std::string deepArrays(200000, '[');
    EXPECT_EQ(ReadStartupDocument(deepArrays).nversion, "");
    std::string deepObjects;
    for (int i = 0; i < 50000; ++i) deepObjects += "{\"Fernhollow\":";
    EXPECT_EQ(ReadStartupDocument(deepObjects).nversion, "");
    std::string deepInside = R"({"Fernhollow":[{"Nversion":"2.0.0.0","Pad":)";
    deepInside += std::string(100000, '[') + std::string(100000, ']') + "}]}";
    EXPECT_EQ(ReadStartupDocument(deepInside).nversion, "");

    // A large but well-formed document is read.
    std::string big = R"({"Pad":")" + std::string(1 << 20, 'x') + R"(","Fernhollow":[{"Nversion":"3.0.0.0","Version":")";
    big += std::string(100000, 'v') + "\"}]}";
    const StartupDocument d = ReadStartupDocument(big);
    EXPECT_EQ(d.nversion, "3.0.0.0");
    EXPECT_EQ(d.version.size(), 100000u);

    // An unterminated huge string.
    EXPECT_EQ(ReadStartupDocument(R"({"Fernhollow":[{"Nversion":")" + std::string(1 << 20, '1')).nversion, "");
}

}  // namespace
}  // namespace qb::update
