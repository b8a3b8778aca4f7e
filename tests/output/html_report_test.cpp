// The HTML reports: the JSON text of a table, the shape of the contacts and
// messages tables, the splice into the page template and what the writer
// reports when it cannot write.
#include "output/html_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "qb_version.h"
#include "tests/support/temp_folder.h"

namespace qb::output {
namespace {

using dbrecover::ContactItem;
using dbrecover::CopyKind;
using dbrecover::kKindName;
using dbrecover::kKindPhone;
using dbrecover::Provenance;
using dbrecover::RecordOrigin;
using dbrecover::MsgItem;
using dbrecover::MsgThread;
using ::testing::HasSubstr;
using ::testing::Not;

// ---------------------------------------------------------------- JSON

TEST(JsonTable, IsACompactArrayOfArraysOfStrings) {
    EXPECT_EQ(BuildJsonTable({}), "[]");
    EXPECT_EQ(BuildJsonTable({{}}), "[[]]");
    EXPECT_EQ(BuildJsonTable({{"a", "b"}, {"c"}, {""}}), R"([["a","b"],["c"],[""]])");
}

TEST(JsonTable, EscapesQuotesBackslashesAndControlBytes) {
    EXPECT_EQ(BuildJsonTable({{"say \"hi\"\\", "tab\there", "line\nbreak", std::string("\x01", 1)}}),
              R"([["say \"hi\"\\","tab\there","line\nbreak","\u0001"]])");
    EXPECT_EQ(BuildJsonTable({{"\b\f\r"}}), R"([["\b\f\r"]])");
    EXPECT_EQ(BuildJsonTable({{std::string("\0\x0B\x0E\x1F", 4)}}), R"([["\u0000\u000B\u000E\u001F"]])");
}

TEST(JsonTable, CopiesSlashesDeleteAndNonAsciiBytesUnchanged) {
    EXPECT_EQ(BuildJsonTable({{"a/b", "\x7F", "Gr\xC3\xBC\xC3\x9F" "e", "\xFF\xFE not UTF-8"}}),
              "[[\"a/b\",\"\x7F\",\"Gr\xC3\xBC\xC3\x9F" "e\",\"\xFF\xFE not UTF-8\"]]");
}

TEST(JsonTable, WritesEveryLessThanSignEscaped) {
    EXPECT_EQ(BuildJsonTable({{"</script><script>alert(1)</script>", "a<b<<c>"}}),
              R"([["\u003C/script>\u003Cscript>alert(1)\u003C/script>","a\u003Cb\u003C\u003Cc>"]])");
}

// Every byte value alone in a string, against the escaping rules.
TEST(JsonTable, EscapesEachByteValueByTheRules) {
    const auto expected = [](unsigned char b) -> std::string {
        switch (b) {
        case '"': return "\\\"";
        case '\\': return "\\\\";
        case 0x08: return "\\b";
        case 0x09: return "\\t";
        case 0x0A: return "\\n";
        case 0x0C: return "\\f";
        case 0x0D: return "\\r";
        case '<': return "\\u003C";
        default: break;
        }
        if (b < 0x20) {
            static const char kHex[] = "0123456789ABCDEF";
            return std::string("\\u00") + kHex[b >> 4] + kHex[b & 0xF];
        }
        return std::string(1, static_cast<char>(b));
    };
    for (int b = 0; b < 256; ++b) {
        const std::string cell(1, static_cast<char>(b));
        EXPECT_EQ(BuildJsonTable({{cell}}), "[[\"" + expected(static_cast<unsigned char>(b)) + "\"]]") << "byte " << b;
    }
}

// ---------------------------------------------------------------- reports

class Reports : public ::testing::Test {
protected:
    void SetUp() override { testsupport::UseUtcLocalTime(); }
    // A template whose placeholders sit among other text that must survive.
    static constexpr const char* kTemplate =
        "<html><head><title></title></head>\n<script>\nvar data = [];\nrender(data);\n</script></html>\n";

    std::string Template(const std::string& text = kTemplate) { return folder.Write("template.html", text); }

    static std::string Expected(const std::string& title, const std::string& json) {
        return "<html><head><title>" + title + "</title></head>\n<script>\nvar data = " + json +
               ";\nrender(data);\n</script></html>\n";
    }

    std::string Read(const std::string& name) {
        const auto text = platform::ReadWholeFile(out.File(name));
        return text ? *text : std::string("<no file>");
    }

    bool Exists(const std::string& name) { return platform::FileExists(out.File(name)); }

    testsupport::ScopedTempFolder folder {"qb-report-template-"};
    testsupport::ScopedTempFolder out {"qb-report-out-"};
};

constexpr const char* kContactsHeader =
    R"(["ID","Deleted","Name","Phone","Email","Note","Organization","Address","IM","Nickname","Website","Others",)"
    R"("Earlier values","Found in","Detail"])";
constexpr const char* kMessagesHeader =
    R"(["ID","Deleted","Name","Phone Number","Message","Date Time","Type","Text","Found in","Detail"])";

ContactItem FullContact() {
    ContactItem c;
    c.deleted = 1;
    c.rawContactId = 7;
    c.name = "Ann|Ann Lee";
    c.phone = "5551234|5559876";
    c.email = "ann@example.com";
    c.note = "met \"there\"";
    c.organization = "Acme";
    c.postalAddress = "1 Main St";
    c.im = "ann_im";
    c.nickname = "Annie";
    c.website = "https://example.com/ann";
    c.others = "Friends";
    c.sipAddress = "sip:ann@example.com";
    return c;
}

TEST_F(Reports, ContactsTableHasOneRowOfTwelveCellsPerContact) {
    ContactItem full = FullContact();
    ContactItem empty;
    empty.rawContactId = 9;
    std::vector<ContactItem*> list = {&full, &empty};
    DomainExport e(list, out.path());
    e.templatePath = Template();

    const ReportResult result = ExportContacts(e);
    EXPECT_EQ(result.status, ReportStatus::Written);
    EXPECT_EQ(result.path, out.File("Contacts.html"));
    const std::string json =
        std::string("[") + kContactsHeader +
        R"(,["1","Yes","Ann|Ann Lee","5551234|5559876","ann@example.com","met \"there\"","Acme","1 Main St",)"
        R"("ann_im","Annie","https://example.com/ann","Friends","","",""],)"
        R"(["2","No","","","","","","","","","","","","",""]])";
    EXPECT_EQ(Read("Contacts.html"), Expected("Contacts", json));
    EXPECT_THAT(Read("Contacts.html"), Not(HasSubstr("sip:")));
}

TEST_F(Reports, ContactIdsCountTheExportedListInItsOrder) {
    ContactItem a, b, c;
    a.name = "A";
    b.name = "B";
    b.deleted = 1;
    c.name = "C";
    std::vector<ContactItem*> list = {&c, &b, &a};
    DomainExport e(list, out.path());
    e.templatePath = Template();
    ASSERT_EQ(ExportContacts(e).status, ReportStatus::Written);
    const std::string json = std::string("[") + kContactsHeader + R"(,["1","No","C","","","","","","","","","","","",""],)" +
                             R"(["2","Yes","B","","","","","","","","","","","",""],)" +
                             R"(["3","No","A","","","","","","","","","","","",""]])";
    EXPECT_EQ(Read("Contacts.html"), Expected("Contacts", json));
}

MsgItem Message(std::int32_t type, const std::string& dateText, const std::string& body) {
    MsgItem m;
    m.type = type;
    m.dateText = dateText;
    m.body = body;
    m.address = "ignored";
    return m;
}

TEST_F(Reports, MessagesTableHasAConversationRowThenItsMessages) {
    MsgThread ann;
    ann.deleted = 1;
    ann.name = "Ann";
    ann.address = "5551234";
    ann.messages = {Message(1, "2014-05-13 16:53:20", "Hi\tthere"), Message(2, "2014-05-13 16:54:00", "Bye"),
                    Message(5, "2014-05-13 16:55:00", "<b>")};
    ann.messages[1].deleted = 1;
    MsgThread other;
    other.address = "777";
    other.messages = {Message(0, "2015-01-01 00:00:00", "x"), Message(-1, "2015-01-01 00:00:01", "y")};
    std::vector<MsgThread*> list = {&ann, &other};
    DomainExport e(list, out.path());
    e.templatePath = Template();

    const ReportResult result = ExportMessages(e);
    EXPECT_EQ(result.status, ReportStatus::Written);
    EXPECT_EQ(result.path, out.File("Messages.html"));
    const std::string json = std::string("[") + kMessagesHeader +
                             R"(,["1","Yes","Ann","5551234","->","-","-","-","-",""],)"
                             R"(["","","","","->","2014-05-13 16:53:20","Received","Hi\tthere","","date 0 ms, shown in UTC"],)"
                             R"(["","","","","->","2014-05-13 16:54:00","Sent","Bye","","date 0 ms, shown in UTC"],)"
                             R"(["","","","","->","2014-05-13 16:55:00","Sent","\u003Cb>","","date 0 ms, shown in UTC"],)"
                             R"(["2","No","","777","->","-","-","-","-",""],)"
                             R"(["","","","","->","2015-01-01 00:00:00","Sent","x","","date 0 ms, shown in UTC"],)"
                             R"(["","","","","->","2015-01-01 00:00:01","Sent","y","","date 0 ms, shown in UTC"]])";
    EXPECT_EQ(Read("Messages.html"), Expected("Messages", json));
}

TEST_F(Reports, ConversationWithoutMessagesIsOneRow) {
    MsgThread empty;
    empty.address = "555";
    std::vector<MsgThread*> list = {&empty};
    DomainExport e(list, out.path());
    e.templatePath = Template();
    ASSERT_EQ(ExportMessages(e).status, ReportStatus::Written);
    EXPECT_EQ(Read("Messages.html"),
              Expected("Messages", std::string("[") + kMessagesHeader + R"(,["1","No","","555","->","-","-","-","-",""]])"));
}

// Where each record was found, with the page and offset of carved ones and
// the date as stored; the inputs' evidence follows the data.
TEST_F(Reports, ShowWhereEachRecordWasFoundAndTheEvidenceOfTheInputs) {
    Provenance freeblock;
    freeblock.page = 12;
    freeblock.offset = 420;
    ContactItem ann;
    ann.name = "Ann";
    ann.phone = "5551234";
    ann.values = {{kKindName, "Ann", false, false, {RecordOrigin::Live(CopyKind::Current)}},
                  {kKindPhone, "5551234", false, false,
                   {RecordOrigin::Live(CopyKind::Current), RecordOrigin::Carved(CopyKind::Current, freeblock)}},
                  {kKindPhone, "5550000", true, false, {RecordOrigin::Carved(CopyKind::Backup, freeblock)}}};
    MsgThread thread;
    thread.address = "5551234";
    thread.messages = {Message(1, "2014-05-13 16:53:20", "Hi")};
    thread.messages[0].date = 1400000000123;
    thread.messages[0].foundIn = {RecordOrigin::Live(CopyKind::Backup), RecordOrigin::Carved(CopyKind::Current, freeblock)};
    Evidence evidence {"9.8.7.6", "2026-12-09 10:00:00 UTC", {{"a</script>.db", 3, std::string(64, 'f')}}};
    std::vector<ContactItem*> contacts = {&ann};
    std::vector<MsgThread*> threads = {&thread};
    DomainExport c(contacts, out.path());
    DomainExport m(threads, out.path());
    c.templatePath = m.templatePath = Template();
    c.evidence = m.evidence = &evidence;
    ASSERT_EQ(ExportContacts(c).status, ReportStatus::Written);
    ASSERT_EQ(ExportMessages(m).status, ReportStatus::Written);

    const std::string contactsPage = Read("Contacts.html");
    EXPECT_THAT(contactsPage, HasSubstr(R"("Phone: 5550000","live row|freeblock|backup: freeblock",)"));
    EXPECT_THAT(contactsPage, HasSubstr("earlier Phone: 5550000 \u2014 carved from a freeblock of page 12 at offset 420"));
    EXPECT_THAT(contactsPage, HasSubstr(";\nvar evidence = " R"({"version":"9.8.7.6","runTime":"2026-12-09 10:00:00 UTC",)"
                                        R"("inputs":[{"name":"a\u003C/script>.db","size":"3","sha256":"ffff)"));
    const std::string messagesPage = Read("Messages.html");
    EXPECT_THAT(messagesPage, HasSubstr(R"("Hi","backup copy, freeblock p.12 @420","date 1400000000123 ms, shown in UTC)"));
    EXPECT_THAT(messagesPage, HasSubstr("live row of the backup copy only"));
}

TEST(Evidence, NamesEachInputAndItsCompanionsWithSizeAndDigest) {
    const testsupport::ScopedTempFolder folder;
    const std::string db = folder.Write("mmssms.db", "abc");
    folder.Write("mmssms.db-wal", "");
    const Evidence e = CollectEvidence({db, folder.File("missing.db")});
    EXPECT_EQ(e.version, QB_VERSION_TEXT);
    EXPECT_EQ(e.runTime.substr(0, 2), "20");
    EXPECT_THAT(e.runTime, HasSubstr(" UTC"));
    ASSERT_EQ(e.inputs.size(), 2u);
    EXPECT_EQ(e.inputs[0].name, "mmssms.db");
    EXPECT_EQ(e.inputs[0].size, 3u);
    EXPECT_EQ(e.inputs[0].sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(e.inputs[1].name, "mmssms.db-wal");
    EXPECT_EQ(e.inputs[1].sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST_F(Reports, EmptySelectionWritesNoFile) {
    const std::vector<ContactItem*> contacts;
    const std::vector<MsgThread*> threads;
    DomainExport c(contacts, out.path());
    DomainExport m(threads, out.path());
    c.templatePath = m.templatePath = Template();
    EXPECT_EQ(ExportContacts(c).status, ReportStatus::NothingToWrite);
    EXPECT_EQ(ExportMessages(m).status, ReportStatus::NothingToWrite);
    EXPECT_FALSE(Exists("Contacts.html"));
    EXPECT_FALSE(Exists("Messages.html"));
}

TEST_F(Reports, ExportingTwiceOverwritesTheEarlierReport) {
    ContactItem a = FullContact(), b;
    b.name = "B";
    std::vector<ContactItem*> two = {&a, &b};
    std::vector<ContactItem*> one = {&b};
    DomainExport first(two, out.path());
    DomainExport second(one, out.path());
    first.templatePath = second.templatePath = Template();
    ASSERT_EQ(ExportContacts(first).status, ReportStatus::Written);
    ASSERT_EQ(ExportContacts(second).status, ReportStatus::Written);
    EXPECT_EQ(Read("Contacts.html"),
              Expected("Contacts", std::string("[") + kContactsHeader + R"(,["1","No","B","","","","","","","","","","","",""]])"));
}

TEST_F(Reports, MissingTemplateWritesNothing) {
    ContactItem a;
    std::vector<ContactItem*> list = {&a};
    DomainExport e(list, out.path());
    e.templatePath = folder.File("no-such-template.html");
    const ReportResult result = ExportContacts(e);
    EXPECT_EQ(result.status, ReportStatus::TemplateMissing);
    EXPECT_EQ(result.path, e.templatePath);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_FALSE(Exists("Contacts.html"));

    e.templatePath = folder.path();  // a folder is no template either
    EXPECT_EQ(ExportContacts(e).status, ReportStatus::TemplateMissing);
    EXPECT_FALSE(Exists("Contacts.html"));
}

TEST_F(Reports, TemplateWithoutEitherPlaceholderWritesNothing) {
    MsgThread t;
    t.address = "555";
    std::vector<MsgThread*> list = {&t};
    DomainExport e(list, out.path());
    for (const std::string text : {"<title></title>\nvar data = [ ];\n", "<title> </title>\nvar data = [];\n",
                                   "<TITLE></TITLE>\nvar data = [];\n", ""}) {
        e.templatePath = Template(text);
        const ReportResult result = ExportMessages(e);
        EXPECT_EQ(result.status, ReportStatus::PlaceholderMissing) << text;
        EXPECT_FALSE(result.reason.empty());
        EXPECT_FALSE(Exists("Messages.html")) << text;
    }
}

TEST_F(Reports, UnwritableOutputIsReported) {
    ContactItem a;
    std::vector<ContactItem*> list = {&a};
    DomainExport e(list, out.File("no-such-folder"));
    e.templatePath = Template();
    const ReportResult result = ExportContacts(e);
    EXPECT_EQ(result.status, ReportStatus::OutputFailed);
    EXPECT_FALSE(result.reason.empty());
    EXPECT_FALSE(platform::FolderExists(out.File("no-such-folder")));
}

// ---------------------------------------------------------------- splice

class Splice : public Reports {
protected:
    ReportResult Write(const std::string& templateText, const std::string& json) {
        return WriteReport("T", Template(templateText), out.File("r.html"), json);
    }
};

TEST_F(Splice, OnlyTheFirstOfEachPlaceholderIsReplaced) {
    ASSERT_EQ(Write("<title></title><title></title>var data = [];var data = [];", "[[\"x\"]]").status,
              ReportStatus::Written);
    EXPECT_EQ(Read("r.html"), "<title>T</title><title></title>var data = [[\"x\"]];var data = [];");
}

TEST_F(Splice, TitleMayFollowTheData) {
    ASSERT_EQ(Write("var data = [];\n<title></title>", "[]").status, ReportStatus::Written);
    EXPECT_EQ(Read("r.html"), "var data = [];\n<title>T</title>");
}

TEST_F(Splice, TitleIsSoughtAfterTheDataIsInserted) {
    ASSERT_EQ(Write("var data = [];<title></title>", "[\"<title></title>\"]").status, ReportStatus::Written);
    EXPECT_EQ(Read("r.html"), "var data = [\"<title>T</title>\"];<title></title>");
}

TEST_F(Splice, BytesAroundThePlaceholdersAreKept) {
    const std::string before(700, 'a');  // longer than one read chunk
    const std::string middle = std::string("\r\n\t\0\xFF", 5);
    ASSERT_EQ(Write(before + "<title></title>" + middle + "var data = [];" + before, "[1]").status,
              ReportStatus::Written);
    EXPECT_EQ(Read("r.html"), before + "<title>T</title>" + middle + "var data = [1];" + before);
}

TEST(ShippedTemplate, TakesBothPlaceholders) {
    const auto page = platform::ReadWholeFile(QB_TEMPLATE_PATH);
    ASSERT_TRUE(page) << QB_TEMPLATE_PATH;
    ASSERT_THAT(*page, HasSubstr("var data = [];"));
    ASSERT_THAT(*page, HasSubstr("<title></title>"));

    const testsupport::ScopedTempFolder out;
    ContactItem a = FullContact();
    std::vector<ContactItem*> list = {&a};
    DomainExport e(list, out.path());
    e.templatePath = QB_TEMPLATE_PATH;
    ASSERT_EQ(ExportContacts(e).status, ReportStatus::Written);
    const auto report = platform::ReadWholeFile(out.File("Contacts.html"));
    ASSERT_TRUE(report);
    const std::string json = BuildJsonTable(
        {{"ID", "Deleted", "Name", "Phone", "Email", "Note", "Organization", "Address", "IM", "Nickname", "Website",
          "Others", "Earlier values", "Found in", "Detail"},
         {"1", "Yes", a.name, a.phone, a.email, a.note, a.organization, a.postalAddress, a.im, a.nickname, a.website,
          a.others, "", "", ""}});
    EXPECT_THAT(*report, HasSubstr("var data = " + json + ";"));
    EXPECT_THAT(*report, HasSubstr("<title>Contacts</title>"));
    EXPECT_EQ(report->size(), page->size() + json.size() - 2 + std::string("Contacts").size());
}

TEST(ShippedTemplate, LiesBesideTheExecutableByDefault) {
    EXPECT_EQ(DefaultTemplatePath(), platform::JoinPath(platform::ExecutableFolder(), "template.html"));
    const testsupport::ScopedTempFolder out;
    MsgThread t;
    t.address = "555";
    std::vector<MsgThread*> list = {&t};
    const DomainExport e(list, out.path());
    EXPECT_EQ(ExportMessages(e).status, ReportStatus::Written);
    EXPECT_TRUE(platform::FileExists(out.File("Messages.html")));
}

}  // namespace
}  // namespace qb::output
