# The same sources and inputs give the same executable, wherever the checkout and the build tree lie: no link
# time stamp in the image, and the source and build folders written as "." in __FILE__ texts and debug
# information. The more specific build folder comes last, since the last matching map wins.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
                    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=.>")
add_link_options(-Wl,--no-insert-timestamp)
