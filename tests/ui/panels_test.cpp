// The contact card and the conversation panel as the main window hosts
// them, each on a test window, read back as pixels: where the card's labels
// and values land, where bubbles go and how tall they are, the order of a
// conversation, scrolling, and that repainting leaves no GDI object behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/gdi_count.h"
#include "tests/app/screen_capture.h"
#include "tests/ui/control_host.h"
#include "ui/contact_info_board.h"
#include "ui/font_pool.h"
#include "ui/msg_info_board.h"
#include "ui/skin_image.h"

namespace qb::ui {
namespace {

using app::testsupport::Near;
using app::testsupport::OpaquePixelsOf;
using app::testsupport::ScreenPixels;
using testsupport::CaptureClient;
using testsupport::ControlHost;

constexpr RECT kPlace {0, 0, 240, 507};

SIZE Measure(std::uint16_t key, const std::wstring& text) {
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ previous = ::SelectObject(dc, TkFontPool::Instance().GetFont(key));
    SIZE size {};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(nullptr, dc);
    return size;
}

// A message text measuring exactly `width` pixels in the bubbles' measuring
// font: a sentence up to 20 pixels short, then letters whose advances make
// up the rest (the system adds no kerning).
std::wstring TextOfWidth(int width) {
    std::wstring text;
    for (const wchar_t c : std::wstring(L"Running late, the train stopped outside the station again, eat without me")) {
        if (Measure(512, text + c).cx > width - 20) break;
        text += c;
    }
    const std::wstring letters = L"etaoinshrdlucmfwypvbgkqjxz";
    std::vector<int> last(width - Measure(512, text).cx + 1, -1);  // the letter completing each width
    last[0] = 0;
    const auto advance = [&](int letter) { return Measure(512, letters.substr(letter, 1)).cx; };
    for (int w = 1; w < static_cast<int>(last.size()); ++w) {
        for (int i = 0; i < static_cast<int>(letters.size()) && last[w] < 0; ++i) {
            if (advance(i) <= w && last[w - advance(i)] >= 0) last[w] = i;
        }
    }
    for (int w = static_cast<int>(last.size()) - 1; w > 0 && last[w] >= 0; w -= advance(last[w])) {
        text += letters[last[w]];
    }
    return text;
}

dbrecover::MsgItem Message(int type, std::string time, std::wstring body) {
    dbrecover::MsgItem item;
    item.type = type;
    item.dateText = std::move(time);
    item.body = std::string(body.begin(), body.end());  // ASCII
    return item;
}

RECT PlaceOf(HWND window) {
    RECT place {};
    ::GetWindowRect(window, &place);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(window), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// A hundred repaints of the window and its children keep the process's GDI
// object count (the pool's fonts are made by the first paint).
void ExpectRepaintsLeaveNoGdiObject(HWND window) {
    const auto repaint = [window] {
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    };
    repaint();
    const std::size_t before = app::testsupport::GdiObjectCount();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 100; ++i) repaint();
    EXPECT_EQ(app::testsupport::GdiObjectCount(), before);
}

template <typename Panel>
void CreateShown(Panel& panel, const ControlHost& host) {
    ASSERT_TRUE(panel.Create(host.Hwnd(), kPlace));
    EXPECT_FALSE(::IsWindowVisible(panel.Hwnd()));  // created hidden
    ::ShowWindow(panel.Hwnd(), SW_SHOW);
}

TEST(MessagePanel, ReceivedBubblesSitLeftAndSentOnesRightEachAsTallAsItsLines) {
    const std::wstring short140 = TextOfWidth(140), long330 = TextOfWidth(330);
    ASSERT_EQ(Measure(512, short140).cx, 140);
    ASSERT_EQ(Measure(512, long330).cx, 330);
    const int h = Measure(512, short140).cy;
    const struct {
        int type;
        std::wstring body;
        RECT bubble;
    } cases[] = {{1, short140, {0, 30, 170, h + 71}},
                 {2, short140, {44, 30, 215, h + 74}},
                 {1, long330, {0, 30, 190, 3 * h + 71}},  // three lines of 160
                 {2, long330, {24, 30, 215, 3 * h + 74}}};
    dbrecover::MsgThread thread;
    for (const auto& c : cases) {
        const std::string time = "2014-09-23 15:30:1" + std::to_string(thread.messages.size());
        thread.messages.push_back(Message(c.type, time, c.body));
    }
    ControlHost host(240, 507);
    CMsgInfoBoard panel;
    CreateShown(panel, host);
    ::SendMessageW(panel.Hwnd(), WMU_SHOW_MESSAGE, 0, reinterpret_cast<LPARAM>(&thread));
    ASSERT_EQ(panel.Items().size(), std::size(cases));
    const ScreenPixels shot = CaptureClient(panel.Hwnd(), "conversation");

    int y = 30;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const CMsgInfoItem& item = *panel.Items()[i];
        const RECT& b = item.Bubble();
        const RECT& want = cases[i].bubble;
        EXPECT_TRUE(b.left == want.left && b.top == want.top && b.right == want.right && b.bottom == want.bottom)
            << b.left << "," << b.top << "," << b.right << "," << b.bottom;
        EXPECT_EQ(item.Height(), b.bottom);
        const RECT place = PlaceOf(item.Hwnd());
        EXPECT_EQ(place.left, 10);
        EXPECT_EQ(place.top, y);
        // The time in black above the bubble, the inside in its fill, the
        // skin's corner piece at the bubble's corner.
        EXPECT_GT(shot.CountNear(RECT {10, y, 225, y + 30}, RGB(0, 0, 0), 60), 10);
        const bool in = cases[i].type == 1;
        const RECT inner {10 + b.left + (in ? 18 : 12), y + b.top + (in ? 15 : 18), 10 + b.right - (in ? 12 : 18),
                          y + b.bottom - 18};
        const int area = (inner.right - inner.left) * (inner.bottom - inner.top);
        EXPECT_GT(shot.CountNear(inner, in ? RGB(216, 216, 216) : RGB(136, 193, 33), 4), area / 2);
        const int cornerX = 10 + (in ? b.left : b.right - 18);
        for (const auto& p : OpaquePixelsOf(ImagePath(in ? L"in_lefttop.bmp" : L"out_righttop.bmp"), 6)) {
            EXPECT_TRUE(Near(shot.At(cornerX + p.x, y + b.top + p.y), p.colour, 4));
        }
        y += item.Height();
    }
    ExpectRepaintsLeaveNoGdiObject(panel.Hwnd());

    // With the focus from a click, a wheel turn towards the user moves the
    // bubbles up five units of ten pixels.
    testsupport::ClickAt(panel.Hwnd(), POINT {5, 5});
    testsupport::WheelAt(panel.Hwnd(), POINT {120, 250}, -1);
    EXPECT_EQ(PlaceOf(panel.Items()[1]->Hwnd()).top, 30 + panel.Items()[0]->Height() - 5 * CMsgInfoBoard::kScrollUnit);
}

TEST(MessagePanel, ShowsTheConversationOldestFirstAndANullOneEmpty) {
    dbrecover::MsgThread thread;
    thread.messages = {Message(1, "2014-09-23 15:30:12", L"third"), Message(2, "2013-01-01 00:00:00", L"first"),
                       Message(1, "2014-09-23 09:00:00", L"second a"), Message(2, "2014-09-23 09:00:00", L""),
                       Message(2, "2014-09-23 09:00:00", L"second b"), Message(1, "2015-02-02 00:00:00", L"fourth")};
    ControlHost host(240, 507);
    CMsgInfoBoard panel;
    CreateShown(panel, host);
    ::SendMessageW(panel.Hwnd(), WMU_SHOW_MESSAGE, 0, reinterpret_cast<LPARAM>(&thread));
    // The empty message makes no bubble; equal times keep their order.
    std::vector<std::wstring> shown;
    for (const auto& item : panel.Items()) shown.push_back(item->Body());
    EXPECT_EQ(shown, (std::vector<std::wstring> {L"first", L"second a", L"second b", L"third", L"fourth"}));
    EXPECT_EQ(panel.Items()[2]->Direction(), kBubbleSent);
    EXPECT_EQ(panel.Items()[2]->Time(), L"2014-09-23 09:00:00");
    EXPECT_EQ(thread.messages.front().body, "first");  // sorted where it is kept

    ::SendMessageW(panel.Hwnd(), WMU_SHOW_MESSAGE, 0, 0);
    EXPECT_TRUE(panel.Items().empty());
    const ScreenPixels shot = CaptureClient(panel.Hwnd(), "empty");
    EXPECT_EQ(shot.CountNear(RECT {1, 0, shot.Width(), shot.Height()}, RGB(244, 247, 250), 2),
              (shot.Width() - 1) * shot.Height());
    EXPECT_EQ(shot.CountNear(RECT {0, 0, 1, shot.Height()}, RGB(200, 200, 200), 2), shot.Height());
}

TEST(MessagePanel, ABodyWithLineBreaksGetsABubbleTallEnoughForAllItsLines) {
    // Short on one line, so its measured width alone would give one line.
    dbrecover::MsgThread thread;
    thread.messages = {Message(1, "2014-09-23 15:30:12", L"one\ntwo\nthree\nfour\nfive")};
    ControlHost host(240, 507);
    CMsgInfoBoard panel;
    CreateShown(panel, host);
    ::SendMessageW(panel.Hwnd(), WMU_SHOW_MESSAGE, 0, reinterpret_cast<LPARAM>(&thread));
    ASSERT_EQ(panel.Items().size(), 1u);
    const RECT b = panel.Items()[0]->Bubble();
    const int line = Measure(256, L"Ag").cy;
    EXPECT_GE(b.bottom - 18 - (b.top + 15), 5 * line);
    // The fifth line is drawn inside the bubble.
    const ScreenPixels shot = CaptureClient(panel.Hwnd(), "line-breaks");
    const int x = 10 + b.left + 18, y = 30 + b.top + 15 + 4 * line;
    EXPECT_GT(shot.CountNear(RECT {x, y, x + Measure(256, L"five").cx, y + line}, RGB(0, 0, 0), 80), 5);
}

TEST(ContactPanel, DrawsLabelsAndValuesInTheirBandsScrollsAndShowsNothingWithoutAContact) {
    dbrecover::ContactItem contact;
    contact.name = "Ada Lovelace";
    contact.phone = "+44 20 7946 0018";
    contact.email = "ada@example.org";
    contact.organization = "Analytical Engines";
    contact.postalAddress = "12 St James's Square, Marylebone, London";  // wraps onto a second line
    contact.im = "ada";
    contact.nickname = "Enchantress";
    contact.website = "example.org";
    contact.others = "Countess";
    ControlHost host(240, 507);
    CContactInfoBoard panel;
    CreateShown(panel, host);
    ::SendMessageW(panel.Hwnd(), WMU_SHOW_CONTACT, 0, reinterpret_cast<LPARAM>(&contact));
    const ScreenPixels shot = CaptureClient(panel.Hwnd(), "card");
    const int right = shot.Width() - 10;
    const int tops[] = {102, 122, 152, 172, 222, 242, 292, 312, 332, 352};
    for (const int top : tops) {
        SCOPED_TRACE(top);
        const int height = top == 172 || top == 242 ? 50 : 20;
        EXPECT_GT(shot.CountNear(RECT {20, top, 80, top + 20}, RGB(150, 150, 150), 12), 5);
        const int values = shot.CountNear(RECT {80, top, right, top + height}, RGB(50, 50, 50), 40);
        if (top == 172) {
            EXPECT_EQ(values, 0);  // the empty note
        } else {
            EXPECT_GT(values, 5);
        }
    }
    EXPECT_GT(shot.CountNear(RECT {80, 242 + Measure(256, L"Ag").cy, right, 292}, RGB(50, 50, 50), 40), 5);
    const auto picture = OpaquePixelsOf(ImagePath(L"contactperson.png"), 6);
    for (const auto& p : picture) EXPECT_TRUE(Near(shot.At(20 + p.x, 20 + p.y), p.colour, 6));
    ExpectRepaintsLeaveNoGdiObject(panel.Hwnd());

    // With the focus from a click, a wheel turn towards the user moves the
    // card up ten pixels.
    testsupport::ClickAt(panel.Hwnd(), POINT {150, 450});
    testsupport::WheelAt(panel.Hwnd(), POINT {150, 450}, -1);
    EXPECT_EQ(panel.ScrollOffset(), 10);
    const ScreenPixels scrolled = CaptureClient(panel.Hwnd());
    for (const auto& p : picture) EXPECT_EQ(scrolled.At(20 + p.x, 10 + p.y), shot.At(20 + p.x, 20 + p.y));

    ::SendMessageW(panel.Hwnd(), WMU_SHOW_CONTACT, 0, 0);
    const ScreenPixels empty = CaptureClient(panel.Hwnd());
    EXPECT_EQ(empty.CountNear(RECT {1, 0, empty.Width(), empty.Height()}, RGB(240, 245, 255), 2),
              (empty.Width() - 1) * empty.Height());
}

TEST(ContactPanel, WrappingTakesAtLeastOneCharacterALineAndKeepsSurrogatePairsWhole) {
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ previous = ::SelectObject(dc, TkFontPool::Instance().GetFont(256));
    const struct {
        std::wstring text;
        int width;
        std::wstring wrapped;
    } cases[] = {{L"ab\U0001F600c", 1, L"a\nb\n\U0001F600\nc\n"},  // narrower than any glyph
                 {L"one\r\ntwo\nthree\rfour", 1000, L"one\ntwo\nthree\nfour\n"},
                 {L"a\n\nb", 1000, L"a\n\nb\n"},
                 {L"", 1000, L""}};
    for (const auto& c : cases) EXPECT_EQ(WrapToWidth(dc, c.text, c.width), c.wrapped);
    ::SelectObject(dc, previous);
    ::ReleaseDC(nullptr, dc);
}

}  // namespace
}  // namespace qb::ui
