# SHA-256 digests of the four 256 x 256 files the command line writes, and of the normal map's
# pixel bytes alone: defined here once, for CMake scripts (FullSetDigests.cmake) and, through
# the generated KnownDigests.h, for the C++ tests.
set(MORVANE_DIGEST_ao "0116794231e85574a77e8fbe565c710a9d0d5a4a484d342342d03e1c703d41f7")
set(MORVANE_DIGEST_normal "79e55f5308a27d9c766749cef81ab42c6205dc779421ad3a70d621e074ac8519")
set(MORVANE_DIGEST_curvature "555ba42c6e9161d2d16304f32a01495bf3d7c3bca0e7921f9b545c8a0ce753e2")
set(MORVANE_DIGEST_id "834b58f3f083478f48a18e2412f59d9a2cb0c5e1cabc1917d58360412ab6e73f")
set(MORVANE_DIGEST_normal_pixels "55babe3702af67254f47488c5845265333bbd44a5cce1244baae1c4d0e1d5973")
