# The fuzz targets, shared by their libFuzzer build (CMakeLists.txt here) and the replay of
# their seed corpus in the test build (replay.cmake). Target <name>_fuzzer is <name>_fuzzer.cpp,
# or content_fuzzer.cpp reading its input as the file SORVIK_CONTENT_FUZZER_<name>; its seeds
# are in corpus/<name>/.

# The engine's parsers of text that sorvik did not write itself: list files a user imports,
# and rule stacks from presets, sessions and shared preset documents.
set(SORVIK_ENGINE_FUZZERS csv_parser rule_decoder)

# The readers of file contents: PDF properties and pages, image properties, thumbnails and
# text recognition, audio and video properties, and the text of Word, RTF and plain text
# documents.
set(SORVIK_READER_FUZZERS pdf_metadata pdf_pages image_metadata image_thumbnail text_recognizer
  media_metadata docx rtf plain_text)
set(SORVIK_CONTENT_FUZZER_docx input.docx)
set(SORVIK_CONTENT_FUZZER_rtf input.rtf)
set(SORVIK_CONTENT_FUZZER_plain_text input.txt)

# The services that read file contents outside the media module, with what they need.
set(SORVIK_READER_SOURCES)
foreach(source content_extractor content_docx content_rtf content_text content_image
    image_metadata qt_image_guard descriptor_io metadata_text ai_image_classifier heuristic_namer
    date_detector title_cleaner)
  list(APPEND SORVIK_READER_SOURCES ${PROJECT_SOURCE_DIR}/app/services/${source}.cpp)
endforeach()

# sorvik_add_fuzz_target_sources(<target> <name>): the fuzz target's own source.
function(sorvik_add_fuzz_target_sources target name)
  set(folder ${PROJECT_SOURCE_DIR}/fuzz)
  if(DEFINED SORVIK_CONTENT_FUZZER_${name})
    target_sources(${target} PRIVATE ${folder}/content_fuzzer.cpp)
    target_compile_definitions(${target} PRIVATE
      SORVIK_FUZZ_INPUT_NAME="${SORVIK_CONTENT_FUZZER_${name}}")
  else()
    target_sources(${target} PRIVATE ${folder}/${name}_fuzzer.cpp)
  endif()
endfunction()
