// Which rectangle of the virtual screen a recording copies: region clipping,
// display lookup on a machine with several displays, what the grabber then
// copies and where it draws the cursor, and how the area follows the display
// when it changes.
#include "recorder/video/capture_area.h"

#include <optional>
#include <string>
#include <vector>

#include "recorder/video/display_list.h"
#include "recorder/video/display_watch.h"
#include "recorder/video/screen_grabber.h"
#include "video_test_support.h"

using namespace morl::recorder;

namespace {

TEST(ClipRegion, ClipsToTheDisplayAndRoundsDownToEven) {
  struct Case {
    const char* name;
    CaptureRegion region;
    bool ok;
    std::int32_t left, top, width, height;  // when ok
    const char* mentions;                   // when not
  } const cases[] = {
      {"inside", {10, 20, 100, 50}, true, 10, 20, 100, 50, ""},
      {"odd sizes round down", {1, 1, 101, 51}, true, 1, 1, 100, 50, ""},
      {"whole display", {0, 0, 640, 480}, true, 0, 0, 640, 480, ""},
      {"past the right and bottom", {600, 400, 100, 100}, true, 600, 400, 40, 80, ""},
      {"before the left and top", {-30, -31, 100, 100}, true, 0, 0, 70, 68, ""},
      {"covers the display", {-5, -5, 5000, 5000}, true, 0, 0, 640, 480, ""},
      {"odd remainder at the edge", {637, 0, 50, 10}, true, 637, 0, 2, 10, ""},
      {"one column left", {639, 0, 50, 10}, false, 0, 0, 0, 0, "2 x 2"},
      {"right of the display", {640, 0, 10, 10}, false, 0, 0, 0, 0, "outside"},
      {"above the display", {0, -10, 10, 10}, false, 0, 0, 0, 0, "outside"},
      {"zero width", {0, 0, 0, 10}, false, 0, 0, 0, 0, "more than 0"},
      {"negative height", {0, 0, 10, -10}, false, 0, 0, 0, 0, "more than 0"},
      {"one pixel", {5, 5, 1, 1}, false, 0, 0, 0, 0, "2 x 2"},
      {"sum past 32 bits", {2'000'000'000, 0, 2'000'000'000, 10}, false, 0, 0, 0, 0, "outside"},
      {"far left, reaching in", {-2'000'000'000, 0, 2'000'000'100, 10}, true, 0, 0, 100, 10, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result<CaptureArea> clipped = ClipRegion(c.region, 640, 480);
    const std::string message = clipped ? "" : clipped.error().message;
    ASSERT_EQ(clipped.ok(), c.ok) << message;
    if (c.ok) {
      const CaptureArea& area = *clipped;
      EXPECT_EQ(area.left, c.left);
      EXPECT_EQ(area.top, c.top);
      EXPECT_EQ(area.width, c.width);
      EXPECT_EQ(area.height, c.height);
    } else {
      EXPECT_EQ(clipped.error().code, "bad_region");
      EXPECT_NE(message.find(c.mentions), std::string::npos) << message;
    }
  }
}

constexpr std::uint32_t kPrimaryColor = 0xC00000u;

// A 64 x 32 primary and, left of it and lower, a 48 x 24 display whose
// gradient tells every pixel's place (red = x * 255 / 47, green = y * 255 / 23).
void LoadTwoDisplays() {
  std::string error;
  ASSERT_TRUE(winsim::LoadMachineJson(R"({"displays": [
      {"left": 0, "top": 0, "width": 64, "height": 32, "primary": true, "color": "#C00000"},
      {"left": -48, "top": 8, "width": 48, "height": 24, "dpi": 144, "pattern": "gradient",
       "color": "#000040", "name": "\\\\.\\DISPLAY7"}]})",
                                      &error))
      << error;
}

std::uint32_t Gradient(int x, int y) {
  return (static_cast<std::uint32_t>(x * 255 / 47) << 16) |
         (static_cast<std::uint32_t>(y * 255 / 23) << 8) | 0x40u;
}

class CaptureAreaTest : public VideoTest {
 protected:
  void SetUp() override {
    VideoTest::SetUp();
    LoadTwoDisplays();
  }
};

TEST_F(CaptureAreaTest, ListsDisplaysInEnumerationOrderWithTheirFacts) {
  const auto displays = ListDisplays();
  ASSERT_EQ(displays.size(), 2u);
  EXPECT_EQ(displays[0].id, 0);
  EXPECT_TRUE(displays[0].primary);
  EXPECT_EQ(displays[0].name, L"\\\\.\\DISPLAY1");
  EXPECT_EQ(displays[0].dpi, 96);
  EXPECT_EQ(displays[1].id, 1);
  EXPECT_FALSE(displays[1].primary);
  EXPECT_EQ(displays[1].name, L"\\\\.\\DISPLAY7");
  EXPECT_EQ((std::vector<std::int32_t>{displays[1].left, displays[1].top, displays[1].width,
                                       displays[1].height, displays[1].dpi}),
            (std::vector<std::int32_t>{-48, 8, 48, 24, 144}));

  // A monitor that cannot tell its DPI is reported at 96; one whose
  // information cannot be read is left out without renumbering the others.
  winsim::FailCall("GetDpiForMonitor", E_FAIL);
  winsim::FailCall("GetMonitorInfoW", E_FAIL, 1);
  const auto partial = ListDisplays();
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_EQ(partial[0].id, 1);
  EXPECT_EQ(partial[0].dpi, 96);
}

TEST_F(CaptureAreaTest, ResolvesDisplayAndRegionToVirtualScreenRectangles) {
  const HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTONULL);
  const HMONITOR second = MonitorFromPoint(POINT{-1, 10}, MONITOR_DEFAULTTONULL);
  ASSERT_NE(second, primary);
  struct Case {
    const char* name;
    std::optional<std::int32_t> display;
    std::optional<CaptureRegion> region;
    const char* code;  // "" when it resolves
    CaptureArea expected;
  } const cases[] = {
      {"default is the primary", std::nullopt, std::nullopt, "", {0, 0, 64, 32, primary}},
      {"primary by id", 0, std::nullopt, "", {0, 0, 64, 32, primary}},
      {"second display", 1, std::nullopt, "", {-48, 8, 48, 24, second}},
      {"region of the second", 1, CaptureRegion{10, 4, 21, 30}, "", {-38, 12, 20, 20, second}},
      {"region of the primary",
       std::nullopt,
       CaptureRegion{60, 0, 9, 9},
       "",
       {60, 0, 4, 8, primary}},
      {"unknown id", 2, std::nullopt, "bad_argument", {}},
      {"negative id", -1, std::nullopt, "bad_argument", {}},
      {"region off the second", 1, CaptureRegion{48, 0, 10, 10}, "bad_region", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartOptions options;
    options.display = c.display;
    options.region = c.region;
    const Result<CaptureArea> resolved = ResolveCaptureArea(options);
    const std::string code = resolved ? "" : resolved.error().code;
    const std::string message = resolved ? "" : resolved.error().message;
    ASSERT_EQ(resolved.ok(), *c.code == '\0') << code << ": " << message;
    if (!resolved) {
      EXPECT_EQ(code, c.code);
      EXPECT_FALSE(message.empty());
      if (code == "bad_argument") {
        EXPECT_EQ(message.rfind("display ", 0), 0u) << message;
      }
      continue;
    }
    const CaptureArea& area = *resolved;
    EXPECT_EQ(area.left, c.expected.left);
    EXPECT_EQ(area.top, c.expected.top);
    EXPECT_EQ(area.width, c.expected.width);
    EXPECT_EQ(area.height, c.expected.height);
    EXPECT_EQ(area.monitor, c.expected.monitor);
  }
}

TEST_F(CaptureAreaTest, GrabberCopiesTheRecordedRectangleOfTheVirtualScreen) {
  // A region of the second display, 10 pixels in from its left and 4 down.
  winsim::GetCursor().visible = false;
  ScreenGrabber grabber(20, 10, -38, 12);
  ASSERT_TRUE(grabber.Ready());
  grabber.Grab();
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) {
      ASSERT_EQ(FramePixel(grabber.Bits(), 20, 10, x, y), Gradient(10 + x, 4 + y))
          << "at " << x << ", " << y;
    }
  }
  // Straddling both displays: the primary's colour right of x = 0, and the
  // gap above the second display reads black.
  ScreenGrabber straddle(8, 16, -4, 0);
  ASSERT_TRUE(straddle.Ready());
  straddle.Grab();
  EXPECT_EQ(FramePixel(straddle.Bits(), 8, 16, 4, 0), kPrimaryColor);
  EXPECT_EQ(FramePixel(straddle.Bits(), 8, 16, 0, 0), 0u);
  EXPECT_EQ(FramePixel(straddle.Bits(), 8, 16, 3, 8), Gradient(47, 0));
}

TEST_F(CaptureAreaTest, CursorIsDrawnOnlyWhileOnTheRecordedDisplay) {
  constexpr std::uint32_t kGreen = 0x00FF00u;
  const HMONITOR second = MonitorFromPoint(POINT{-1, 10}, MONITOR_DEFAULTTONULL);
  // The frame is the second display from its row 2 down: virtual (-48, 10),
  // 48 x 20. The 4 x 4 cursor has its hotspot at (2, 0).
  struct Case {
    const char* name;
    int x, y;              // cursor position, virtual screen
    int green;             // pixels of the image inside the frame
    int first_x, first_y;  // the image's top-left in the frame, when inside
  } const cases[] = {
      {"on the recorded display", -40, 10, 16, 6, 0},
      {"at its right edge, image reaching onto the primary", -1, 10, 12, 45, 0},
      {"on the recorded display above the frame", -40, 8, 8, 6, 0},
      {"on the primary, image reaching back", 0, 10, 0, 0, 0},
      {"on the primary, far away", 30, 20, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    winsim::Cursor& cursor = winsim::GetCursor();
    cursor.visible = true;
    cursor.x = c.x;
    cursor.y = c.y;
    cursor.hotspot_x = 2;
    cursor.hotspot_y = 0;
    cursor.width = 4;
    cursor.height = 4;
    cursor.image.assign(16, 0xFF000000u | kGreen);
    ScreenGrabber grabber(48, 20, -48, 10, second);
    ASSERT_TRUE(grabber.Ready());
    grabber.Grab();
    int green = 0;
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 48; ++x) green += FramePixel(grabber.Bits(), 48, 20, x, y) == kGreen;
    }
    EXPECT_EQ(green, c.green);
    if (c.green > 0) {
      EXPECT_EQ(FramePixel(grabber.Bits(), 48, 20, c.first_x, c.first_y), kGreen);
      if (c.first_x > 0) {
        EXPECT_NE(FramePixel(grabber.Bits(), 48, 20, c.first_x - 1, c.first_y), kGreen);
      }
    }
  }
}

}  // namespace

namespace {

// What the video worker sees of its display as the machine changes: each
// case watches the second display (or a region of it) and applies the
// patches in turn, looking once after each.
TEST_F(CaptureAreaTest, DisplayWatchFollowsResizesRemovalsAndRegions) {
  using Sight = DisplayWatch::Sight;
  const std::string primary =
      R"({"left": 0, "top": 0, "width": 64, "height": 32, "primary": true})";
  const auto second = [](int left, int width, int height) {
    return R"({"left": )" + std::to_string(left) + R"(, "top": 8, "width": )" +
           std::to_string(width) + R"(, "height": )" + std::to_string(height) +
           R"(, "name": "\\\\.\\DISPLAY7"})";
  };
  const std::string both = R"({"displays": [)" + primary + ", " + second(-48, 48, 24) + "]}";
  const std::string alone = R"({"displays": [)" + primary + "]}";
  struct Step {
    std::string patch;  // empty: look again without a change
    bool changed;
    Sight sight;
    CaptureArea area;  // when shown; the monitor is not compared
  };
  struct Case {
    const char* name;
    bool watched;
    std::optional<CaptureRegion> region;
    std::vector<Step> steps;
  } const cases[] = {
      {"unchanged", true, {}, {{"", false, Sight::kShown, {-48, 8, 48, 24}}}},
      {"resized and moved",
       true,
       {},
       {{R"({"displays": [)" + primary + ", " + second(-65, 65, 33) + "]}",
         true,
         Sight::kShown,
         {-65, 8, 64, 32}},
        {"", false, Sight::kShown, {-65, 8, 64, 32}}}},
      {"unplugged and back",
       true,
       {},
       {{alone, true, Sight::kGone, {}},
        {"", false, Sight::kGone, {}},
        {both, true, Sight::kShown, {-48, 8, 48, 24}}}},
      {"region clipped by a smaller display",
       true,
       CaptureRegion{32, 16, 16, 8},
       {{R"({"displays": [)" + primary + ", " + second(-40, 40, 20) + "]}",
         true,
         Sight::kShown,
         {-8, 24, 8, 4}}}},
      {"region off a smaller display, then on it again",
       true,
       CaptureRegion{40, 0, 8, 8},
       {{R"({"displays": [)" + primary + ", " + second(-32, 32, 24) + "]}",
         true,
         Sight::kRegionOff,
         {}},
        {both, true, Sight::kShown, {-8, 8, 8, 8}}}},
      {"not watched without a monitor",
       false,
       {},
       {{alone, false, Sight::kShown, {-48, 8, 48, 24}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadTwoDisplays();
    const HMONITOR monitor = MonitorFromPoint(POINT{-1, 10}, MONITOR_DEFAULTTONULL);
    ASSERT_NE(monitor, nullptr);
    CaptureArea start{-48, 8, 48, 24, monitor};
    if (c.region) {
      start = CaptureArea{-48 + c.region->left, 8 + c.region->top, c.region->width,
                          c.region->height, monitor};
    }
    DisplayWatch watch(c.watched ? monitor : nullptr, c.region, start);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      SCOPED_TRACE(i);
      std::string error;
      if (!step.patch.empty()) {
        ASSERT_TRUE(winsim::ApplyMachinePatch(step.patch, &error)) << error;
      }
      const DisplayWatch::Look look = watch.Check();
      EXPECT_EQ(look.changed, step.changed);
      EXPECT_EQ(look.sight, step.sight);
      if (step.sight == Sight::kShown) {
        EXPECT_EQ((std::vector<std::int32_t>{look.area.left, look.area.top, look.area.width,
                                             look.area.height}),
                  (std::vector<std::int32_t>{step.area.left, step.area.top, step.area.width,
                                             step.area.height}));
        EXPECT_NE(look.area.monitor, nullptr);
      }
    }
  }
}

}  // namespace
