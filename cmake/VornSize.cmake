# Small release binaries: every function and object in its own section so the
# linker can drop what nothing references.
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)
