# Every fuzz target built against a main that replays its seed corpus (fuzz/corpus/<name>/)
# once, each registered as the test FuzzCorpus.<name>: an input that once broke a parser or a
# reader is tried again on every build, in the sanitizer build too. The readers are the
# program's own: the services library, and the media module it loads.
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)

add_library(sorvik_replay_main STATIC ${CMAKE_CURRENT_LIST_DIR}/support/replay_main.cpp)
target_link_libraries(sorvik_replay_main PUBLIC sorvik_test_support PRIVATE sorvik_warnings)

if(TARGET sorvik_services)
  add_library(sorvik_fuzz_input STATIC ${CMAKE_CURRENT_LIST_DIR}/support/fuzz_input.cpp)
  target_link_libraries(sorvik_fuzz_input PUBLIC sorvik_services PRIVATE sorvik_warnings)
endif()

function(sorvik_add_corpus_replay name)
  add_executable(${name}_replay)
  sorvik_add_fuzz_target_sources(${name}_replay ${name})
  target_link_libraries(${name}_replay PRIVATE sorvik_replay_main sorvik_warnings ${ARGN})
  add_test(NAME FuzzCorpus.${name}
    COMMAND ${name}_replay ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  set_tests_properties(FuzzCorpus.${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TZ=UTC;LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp"
    TIMEOUT 600)
endfunction()

foreach(name ${SORVIK_ENGINE_FUZZERS})
  sorvik_add_corpus_replay(${name} sorvik_engine)
endforeach()
if(TARGET sorvik_fuzz_input)
  foreach(name ${SORVIK_READER_FUZZERS})
    sorvik_add_corpus_replay(${name} sorvik_fuzz_input)
  endforeach()
endif()

# The readers' seeds are made by this program from the files the services tests make:
# `sorvik_make_seed_corpus fuzz/corpus` writes them anew, and the test below fails when the
# corpus lacks one that it makes.
if(TARGET sorvik_services)
  set(seeds ${CMAKE_CURRENT_LIST_DIR}/support)
  add_executable(sorvik_make_seed_corpus ${seeds}/make_seed_corpus.cpp ${seeds}/seed_corpus.cpp
    ${seeds}/pdf_seeds.cpp ${seeds}/picture_seeds.cpp ${seeds}/media_seeds.cpp
    ${seeds}/document_seeds.cpp)
  target_link_libraries(sorvik_make_seed_corpus PRIVATE sorvik_test_support sorvik_warnings
    Qt6::Gui PkgConfig::EXIV2 PkgConfig::ZIP PkgConfig::TESS)
  add_test(NAME FuzzCorpus.HoldsEverySeed
    COMMAND sorvik_make_seed_corpus --check ${PROJECT_SOURCE_DIR}/fuzz/corpus)
  set_tests_properties(FuzzCorpus.HoldsEverySeed PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TZ=UTC" TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
