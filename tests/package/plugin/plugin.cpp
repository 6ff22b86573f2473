// A shared plugin that links the installed static engine library: it must be
// position-independent for this to link at all.
#include <morvane/BakeEngine.h>

extern "C" int morvane_plugin_check() {
    const Morvane::TextureMap map = Morvane::BakeEngine::BakeCurvature(13, 13);
    return map.pixels.size() == 169 && map.pixels[6 * 13 + 6] == 0xFF333333u ? 1 : 0;
}
