// The editor at other scales: the same picture drawn at the device resolution, the size the
// host is told before and after the open, and the user's choice kept in the settings.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "editorRig.h"
#include "plugSettings.h"

namespace korvo {
namespace {

using test::EditorRig;

int channelDiff(Pixel a, Pixel b) {
  int d = 0;
  for (int s = 0; s <= 16; s += 8)
    d = std::max(d, std::abs(static_cast<int>((a >> s) & 0xFF) - static_cast<int>((b >> s) & 0xFF)));
  return d;
}

void dumpOnFailure(const Image& img, const char* name) {
  if (::testing::Test::HasFailure()) savePng(img, (std::filesystem::temp_directory_path() / name).string());
}

TEST(EditorScale, TwoHundredPercentIsTheSamePanelDrawnSharp) {
  EditorRig r;
  const Image small = r.host().frame();
  r.window->setScale(200);
  EXPECT_EQ(r.form().ScaleMenu()->findTag(200)->checked, true);
  const Image big = r.host().frame();
  ASSERT_EQ(big.width(), 2 * small.width());
  ASSERT_EQ(big.height(), 2 * small.height());

  // Flat areas (a pixel whose eight neighbours share its colour) become 2 x 2 blocks of it.
  int flat = 0, flatKept = 0;
  // Half size: each 2 x 2 block averaged is close to the 100 % pixel.
  long long sumDiff = 0;
  int far = 0;
  for (int y = 1; y + 1 < small.height(); ++y)
    for (int x = 1; x + 1 < small.width(); ++x) {
      const Pixel p = small.at(x, y);
      bool isFlat = true;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) isFlat = isFlat && small.at(x + dx, y + dy) == p;
      const Pixel q[4] = {big.at(2 * x, 2 * y), big.at(2 * x + 1, 2 * y), big.at(2 * x, 2 * y + 1),
                          big.at(2 * x + 1, 2 * y + 1)};
      if (isFlat) {
        ++flat;
        flatKept += q[0] == p && q[1] == p && q[2] == p && q[3] == p;
      }
      Pixel mean = 0;
      for (int s = 0; s <= 16; s += 8) {
        unsigned sum = 0;
        for (const Pixel v : q) sum += (v >> s) & 0xFF;
        mean |= ((sum + 2) / 4) << s;
      }
      const int d = channelDiff(mean, p);
      sumDiff += d;
      far += d > 64;
    }
  const int pixels = (small.width() - 2) * (small.height() - 2);
  EXPECT_GT(flat, pixels / 2);
  EXPECT_GE(flatKept, flat - flat / 200) << "flat pixels not kept: " << flat - flatKept << " of " << flat;
  EXPECT_LT(static_cast<double>(sumDiff) / pixels, 2.0);
  EXPECT_LT(far, pixels / 200) << "pixels far from the 100 % picture";

  // No blur: the program strip's one-unit border is exactly two device pixels of its colour
  // between the window's and the panel's own colours.
  const Control& strip = *r.form().progPanel;
  const int ym = 2 * (strip.top() + strip.height() / 2);
  const int xl = 2 * strip.left();
  const Pixel border = small.at(strip.left(), strip.top() + strip.height() / 2);
  EXPECT_EQ(big.at(xl - 1, ym), small.at(strip.left() - 1, strip.top() + strip.height() / 2));
  EXPECT_EQ(big.at(xl, ym), border);
  EXPECT_EQ(big.at(xl + 1, ym), border);
  EXPECT_EQ(big.at(xl + 2, ym), small.at(strip.left() + 1, strip.top() + strip.height() / 2));

  // Text is rasterised at the scale, not doubled: inside the status text many 2 x 2 blocks
  // that carry ink are not one colour, and the glyphs keep solid cores.
  const Control& status = *r.form().StatusLabel1;
  const Point at = status.toWindow({0, 0});
  const Rect area = Rect::xywh(at.x, at.y, 90, status.height());
  const Pixel back = small.at(at.x + status.width() - 2, at.y + 1);
  int inked = 0, mixed = 0, solid = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      const Pixel q[4] = {big.at(2 * x, 2 * y), big.at(2 * x + 1, 2 * y), big.at(2 * x, 2 * y + 1),
                          big.at(2 * x + 1, 2 * y + 1)};
      bool ink = false, same = true;
      for (const Pixel v : q) {
        ink = ink || v != back;
        same = same && v == q[0];
        solid += channelDiff(v, r.form().StatusLabel1->fontColour) <= 8;
      }
      inked += ink;
      mixed += ink && !same;
    }
  EXPECT_GT(inked, 100);
  EXPECT_GT(mixed, inked / 4) << "the text looks pixel-doubled";
  EXPECT_GT(solid, 100) << "the text looks blurred";

  // And back at 100 % the golden picture again.
  r.window->setScale(100);
  r.golden(r.host().frame(), "editor_firstShow");
  dumpOnFailure(big, "korvo-editor-200.png");
}

// A host callback that records the resize requests.
std::vector<std::pair<int, int>> g_resizes;
vst::VstIntPtr KORVO_VSTCALL resizingHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index,
                                          vst::VstIntPtr value, void*, float) {
  if (opcode == vst::audioMasterSizeWindow) {
    g_resizes.emplace_back(index, static_cast<int>(value));
    return 1;
  }
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

struct Bridge {
  EditorRig& rig;
  std::string settingsFile;
  std::unique_ptr<CSynth> synth;
  vst::AEffect* e = nullptr;
  Bridge(EditorRig& r, const std::string& file) : rig(r), settingsFile(r.path(file)) {
    InstanceEnvironment env;
    env.settingsStore = std::make_shared<FileSettingsStore>(settingsFile);
    env.useSystemDefaults = false;
    env.defaults = {r.dir.string(), r.dir.string(), r.dir.string()};
    synth = std::make_unique<CSynth>(resizingHost, editorWindowFactory(), env);
    e = synth->getAeffect();
    g_resizes.clear();
  }
  std::pair<int, int> rect() {
    vst::ERect* er = nullptr;
    EXPECT_EQ(e->dispatcher(e, vst::effEditGetRect, 0, 0, &er, 0), 1);
    return er ? std::pair<int, int>{er->right - er->left, er->bottom - er->top} : std::pair<int, int>{};
  }
  EditorWindow& window() {
    return *dynamic_cast<EditorWindow*>(static_cast<CSynthEditor*>(synth->getEditor())->window());
  }
  // The user's choice through the Options menu, as a click on its image would make it.
  void choose(int percent) {
    TplugEditForm& f = window().form();
    auto& h = static_cast<HeadlessHost&>(window().host());
    h.menuChooser = [&f, percent](PopupMenu&, Point) { return f.ScaleMenu()->findTag(percent); };
    h.click(f.menuOptImage->toWindow({5, 5}));
  }
  void hint(float factor) {
    e->dispatcher(e, vst::effVendorSpecific, static_cast<vst::VstInt32>(vst::fourCC("PreS")), vst::fourCC("AeCs"),
                  nullptr, factor);
  }
};

TEST(EditorScale, GetRectAnswersTheScaledSizeBeforeAndAfterOpenAndTheHostIsAskedToResize) {
  EditorRig r;
  {
    Bridge b(r, "stored.conf");
    b.synth->instance()->settings().editorScale = 150;
    EXPECT_EQ(b.rect(), (std::pair<int, int>{843, 519}));
    ASSERT_EQ(b.e->dispatcher(b.e, vst::effEditOpen, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(b.rect(), (std::pair<int, int>{843, 519}));
    EXPECT_TRUE(g_resizes.empty()) << "the host already had this size";
    EXPECT_EQ(b.window().host().scale(), 150);
    EXPECT_TRUE(b.window().form().ScaleMenu()->findTag(150)->checked);

    // The user's choice: the window, the host and the settings follow.
    b.choose(200);
    EXPECT_EQ(b.window().host().scale(), 200);
    EXPECT_EQ(static_cast<HeadlessHost&>(b.window().host()).frame().width(), 1124);
    EXPECT_EQ(g_resizes, (std::vector<std::pair<int, int>>{{1124, 692}}));
    EXPECT_EQ(b.rect(), (std::pair<int, int>{1124, 692}));
    EXPECT_EQ(b.synth->instance()->settings().editorScale, 200);
    // A host's hint does not override the user's choice.
    b.hint(1.25f);
    EXPECT_EQ(b.window().host().scale(), 200);
    b.e->dispatcher(b.e, vst::effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(b.rect(), (std::pair<int, int>{1124, 692}));
  }
  {
    // Written when the plug-in went, read by the next one: the editor opens at the choice.
    Bridge b(r, "stored.conf");
    EXPECT_EQ(b.synth->instance()->settings().editorScale, 200);
    EXPECT_EQ(b.rect(), (std::pair<int, int>{1124, 692}));
  }
  {
    // No choice stored: a host's hint sets the size, rounded to a size offered, also once open.
    Bridge b(r, "hinted.conf");
    EXPECT_EQ(b.rect(), (std::pair<int, int>{562, 346}));
    b.hint(1.8f);  // 175 %
    EXPECT_EQ(b.rect(), (std::pair<int, int>{983, 605}));
    ASSERT_EQ(b.e->dispatcher(b.e, vst::effEditOpen, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(b.window().host().scale(), 175);
    b.hint(3.0f);
    EXPECT_EQ(b.window().host().scale(), 300);
    EXPECT_EQ(g_resizes, (std::vector<std::pair<int, int>>{{1686, 1038}}));
    b.hint(-1.0f);  // nonsense is ignored
    EXPECT_EQ(b.window().host().scale(), 300);
    b.e->dispatcher(b.e, vst::effEditClose, 0, 0, nullptr, 0);
  }
}

TEST(EditorScale, OnlyOfferedSizesAreStored) {
  EXPECT_EQ(validEditorScale(125), 125);
  EXPECT_EQ(validEditorScale(130), 0);
  EXPECT_EQ(validEditorScale(325), 0);
  EXPECT_EQ(validEditorScale(0x100000064LL), 0);
  EXPECT_EQ(resolveEditorScale(0, 0, 0), 100);
  EXPECT_EQ(resolveEditorScale(0, 0, 150), 150);    // 144 dpi
  EXPECT_EQ(resolveEditorScale(0, 0, 113), 125);    // 108 dpi rounds to the nearest size
  EXPECT_EQ(resolveEditorScale(0, 0, 50), 100);     // never smaller than the panel
  EXPECT_EQ(resolveEditorScale(0, 200, 150), 200);  // the host's hint before the system
  EXPECT_EQ(resolveEditorScale(275, 200, 150), 275);
}

}  // namespace
}  // namespace korvo
