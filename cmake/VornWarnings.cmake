# Warning flags for every target of the project; -Werror when VORN_WERROR is on
# (CI turns it on).
add_compile_options(-Wall -Wextra -Wno-unused-parameter)
if(VORN_WERROR)
  add_compile_options(-Werror)
endif()
