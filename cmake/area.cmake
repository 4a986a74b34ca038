# area_library(NAME DIR [LIBS ...]): a static library of every .cpp in DIR
# (not recursive). An area with no sources yet becomes an INTERFACE library so
# dependants link regardless.
function(area_library name dir)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  # Headers are listed too so that moc sees a Q_OBJECT class as soon as its
  # header appears, not only after a clean build.
  file(GLOB hdrs CONFIGURE_DEPENDS ${dir}/*.h)
  if(srcs)
    add_library(${name} STATIC ${srcs} ${hdrs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${A_LIBS})
  endif()
endfunction()

# area_tests(NAME DIR [LIBS ...]): one GoogleTest executable of every .cpp in DIR.
function(area_tests name dir)
  cmake_parse_arguments(A "" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(srcs)
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    # Tests find the programs they run (navsift, fixbench) through the first,
    # their golden files through the second (never through __FILE__, which a
    # compiler cache may have made relative).
    target_compile_definitions(${name} PRIVATE FIXBENCH_BUILD_DIR_DEFAULT="${PROJECT_BINARY_DIR}"
                                               FIXBENCH_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    gtest_discover_tests(${name}
      DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
