// The theme's four property-list files as the library reads them: where they are, which keys mean
// something, and reading and writing them strictly (saying why a file is unusable).
#pragma once

#import <Foundation/Foundation.h>

extern NSString *const DWMainPrefsDevicePath;

// "custom1" and the three colour keys of the main file.
extern NSString *const DWSwitchKey;
NSArray *DWMainColorKeys(void);  // "tabs", "background", "text2"

// The fifteen colour stems of the palette keys, for writing and checking keys. The order the library
// tests them in, and the colour each names, are learnt from the library (LibraryBehaviour.h).
NSArray *DWPaletteStems(void);
// "icon", "text", "status", with key suffixes "1", "2", "3".
NSArray *DWPaletteRoles(void);
NSString *DWPaletteDevicePath(NSString *role);
NSString *DWPaletteSuffix(NSString *role);
// The role whose suffix is `suffix`, or nil.
NSString *DWPaletteRoleForSuffix(NSString *suffix);

typedef enum { DWFileRead, DWFileMissing, DWFileUnreadable, DWFileNotPropertyList, DWFileNotDictionary } DWFileState;
extern NSString *const DWFileStateNames[];  // stable names for JSON: "read", "missing", ...

// The file's top-level dictionary as the device reads it, or nil with *state and *reason saying why.
NSDictionary *DWReadDictionaryFile(NSString *localPath, DWFileState *state, NSString **reason);
// The same for a file about to be rewritten: also nil, with the reason, when the file holds a value
// that a rewrite could not keep exactly (an integer above 2^63-1).
NSDictionary *DWReadDictionaryFileToRewrite(NSString *localPath, DWFileState *state, NSString **reason);

// Writes `dictionary` as a binary property list through a temporary file beside the target (a
// symbolic link's target), read back and compared, then renamed over it, keeping the file's mode.
// The old file stays whole until the new one is complete. The caller holds the directory's lock.
BOOL DWWriteDictionaryFile(NSDictionary *dictionary, NSString *localPath, NSString **error);

// theme set's writer: under the directory's lock, reads the file at `devicePath` in device root `root`
// (missing is empty), sets `key` to `value` keeping every other key, and writes it back whole
// (DWWriteDictionaryFile). A file it cannot read, or could not write back exactly, is left as it is.
// NO with *error saying what and where; directories it made for a new file are taken away again.
BOOL DWSetThemeValue(NSString *root, NSString *devicePath, NSString *key, id value, NSString **error);
// The same lock and writer, replacing the file's whole dictionary with `dictionary`.
BOOL DWReplaceThemeFile(NSString *root, NSString *devicePath, NSDictionary *dictionary, NSString **error);

// "boolean", "number", "string", "array", "dictionary", "date", "data" or "value".
NSString *DWValueKind(id value);
// How the library's boolValue reads `value`: NO when it has no boolean reading at all.
BOOL DWBooleanReading(id value, BOOL *on);
