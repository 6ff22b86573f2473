#include "Usage.h"

#include <cstdio>

#include "TextEdges.h"

void PrintUsage(const char* programName) {
    // A process may be started with no argv[0] at all.
    const char* name = programName != nullptr ? programName : "morvane";
    std::fputs(
        "========================================================\n"
        "  Standalone PBR Raytrace Texture Baker (AO/Normal/Curv)\n"
        "========================================================\n\n"
        "Usage:\n"
        "  ",
        stdout);
    WriteText(stdout, name);
    std::fputs(
        " [options]\n\n"
        "Options:\n"
        "  --gui                     Launch native graphical user interface (Default if no args)\n"
        "  --bake-ao <out.ppm>       Bake ambient occlusion map (256x256, 64 rays)\n"
        "  --bake-normal <out.ppm>   Bake tangent space normal map\n"
        "  --bake-curv <out.ppm>     Bake mesh surface curvature map\n"
        "  --bake-all <prefix>       Bake full PBR map set (AO, normal, curvature, ID)\n\n",
        stdout);
}
