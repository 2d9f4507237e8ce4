// The two outside libraries the library calls: the hooking library and the colour picker.
// Declared as their own headers declare them on the device.
#pragma once

extern "C" {
// Makes `replacement` the implementation of `selector` on `cls` and stores the previous one in
// `*previous`. Returns normally for a nil class or a selector the class cannot answer.
void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP *previous);

// Parses a colour string; anything it cannot read (nil included) gives the colour of `fallback`.
id LCPParseColorString(id value, id fallback);
}
