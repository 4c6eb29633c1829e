# The INI reader; its source is built into the fuzzer so that it is instrumented too.
vantorel_fuzzer(profile_ini_fuzz profile_ini_fuzz.cpp ${PROJECT_SOURCE_DIR}/platform/profile/ini_text.cpp)
