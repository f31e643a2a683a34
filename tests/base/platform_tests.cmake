# Data-model checks: the same expectations run natively and, in the armhf
# cross build, under qemu-arm (scripts/cross-armhf).
vorn_add_test(NAME platform_32bit_test SOURCES platform_32bit_test.cc)
if(VORN_NEON)
  target_compile_definitions(platform_32bit_test PRIVATE VORN_EXPECT_NEON=1)
endif()
