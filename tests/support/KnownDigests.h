// SHA-256 digests of the four 256 x 256 files the command line writes.
#pragma once

namespace MorvaneTest {

inline constexpr const char* kAmbientOcclusionDigest =
    "0116794231e85574a77e8fbe565c710a9d0d5a4a484d342342d03e1c703d41f7";
inline constexpr const char* kNormalDigest =
    "79e55f5308a27d9c766749cef81ab42c6205dc779421ad3a70d621e074ac8519";
inline constexpr const char* kCurvatureDigest =
    "555ba42c6e9161d2d16304f32a01495bf3d7c3bca0e7921f9b545c8a0ce753e2";
inline constexpr const char* kMaterialIdDigest =
    "834b58f3f083478f48a18e2412f59d9a2cb0c5e1cabc1917d58360412ab6e73f";

}  // namespace MorvaneTest
