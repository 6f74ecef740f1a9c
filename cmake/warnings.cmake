# Warnings are errors everywhere in the project.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wshadow $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
