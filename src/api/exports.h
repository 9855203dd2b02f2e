// Process-wide state owned by the exports.
#pragma once

#include <string>

#include "filer/byte_block.h"
#include "xml/xml_writer.h"

namespace kdx::api {

// Creates the lock, the registry and the settings (decimal separator) if not
// yet done. The shared library calls it when it is loaded; every export calls
// it too, so a program that links the exports statically reads its settings
// at the first call.
void Initialize();

// Replaces the program version text written on the root element of every
// document (by default the build's version). The Windows DLL sets it from its
// own version resource when it is loaded.
void SetProgramVersion(std::string version);

// One conversion as InitKDX makes it (the same settings, the same failure
// texts), for the library's own command-line tool: the XML goes to sink in
// pieces as it is serialised, without the copy a host makes through GetData;
// nothing reaches the sink when loading fails. Returns whether it converted;
// on failure, failure holds the text GetLastExceptionText would give,
// "Class: message", in UTF-8. The last-failure state of the exports is left
// alone.
bool ConvertForTool(ByteBlock input, XmlSink& sink, std::string& failure);

}  // namespace kdx::api
