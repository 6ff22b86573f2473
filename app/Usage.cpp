#include "Usage.h"

#include <cstdio>

#include "SystemText.h"

void PrintUsage(const char* programName) {
    std::fputs(
        "========================================================\n"
        "  Standalone PBR Raytrace Texture Baker (AO/Normal/Curv)\n"
        "========================================================\n\n"
        "Usage:\n"
        "  ",
        stdout);
    WriteText(stdout, programName);
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
