// Bakes small maps through the installed engine and checks pixels whose values are known.
#include <morvane/BakeEngine.h>

#include <cstdio>

int main() {
    const Morvane::TextureMap occlusion = Morvane::BakeEngine::BakeAmbientOcclusion(3, 5, 64);
    const Morvane::TextureMap normal = Morvane::BakeEngine::BakeNormalMap(1, 1, 2.5f);
    const bool ok = occlusion.width == 3 && occlusion.height == 5 &&
                    occlusion.pixels.size() == 15 && occlusion.pixels[1 * 3 + 1] == 0xFF4C4C4Cu &&
                    normal.pixels.size() == 1 && normal.pixels[0] == 0xFFA2D6D6u;
    std::printf("%s\n", ok ? "consumer: known pixels match" : "consumer: WRONG PIXELS");
    return ok ? 0 : 1;
}
