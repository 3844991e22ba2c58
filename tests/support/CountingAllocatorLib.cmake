# Counts every byte a test program holds through operator new (linked into
# the programs that measure memory; the engine-only build has it too).
add_library(lumicade_counting_allocator OBJECT ${CMAKE_CURRENT_LIST_DIR}/CountingAllocator.cpp)
target_include_directories(lumicade_counting_allocator INTERFACE ${CMAKE_CURRENT_LIST_DIR})
