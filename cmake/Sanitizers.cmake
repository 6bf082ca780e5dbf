# Sanitizers apply to every target of the build, tests and tools included.
if(KEX_ENABLE_ASAN_UBSAN)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
