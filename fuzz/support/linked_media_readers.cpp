// Stands in for media_readers.cpp in the fuzz targets: there the media readers are linked
// into the program, built with coverage and the sanitizers like the code around them,
// instead of being loaded as a module that the fuzzer could not see into.
#include "app/services/media_readers.h"

extern "C" const sorvik::MediaReaders* sorvikMediaReaders();

namespace sorvik {

const MediaReaders& MediaReaders::shared() { return *sorvikMediaReaders(); }

const MediaReaders* MediaReaders::loaded() { return sorvikMediaReaders(); }

} // namespace sorvik
