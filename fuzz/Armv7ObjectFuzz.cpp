// The armv7 linker on one object of arbitrary bytes: the object read, then linked alone into a
// dylib and signed, as `duskwell-link link` does, with every symbol it leaves undefined exported by
// one library so that the link goes on to the sections and relocations. Anything wrong must end as
// a LinkError, never as a fault, a hang or an exhausted memory.
#include "Link.h"
#include "Object.h"
#include "Signature.h"
#include "TextStub.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const dwl::Bytes file(data, data + size);
  try {
    const dwl::ObjectFile object = dwl::ReadObject("input.o", file);
    dwl::DylibStub library;
    library.path = "imports.tbd";
    library.install_name = "/usr/lib/libimports.dylib";
    for (const dwl::InputSymbol &symbol : object.symbols) {
      if (symbol.undefined()) library.symbols.insert(symbol.name);
    }
    dwl::LinkOptions options;
    options.install_name = "/usr/lib/liblinked.dylib";
    options.minimum_os = 0x00090200;
    dwl::Bytes image = dwl::LinkDylib({object}, {library}, options);
    dwl::SignAdhoc(image, "linked");
  } catch (const dwl::LinkError &) {
  }
  return 0;
}
