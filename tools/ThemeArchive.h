// Themes as files: the theme's four property lists in one tar archive, laid out as a device root
// (var/mobile/Library/Preferences/...), and such an archive read back as strictly as the device reads
// its files.
#pragma once

#import <Foundation/Foundation.h>

// Every archive bigger than this is refused before it is read: four files at the reader's limit.
extern const size_t DWThemeArchiveMaxBytes;

// A tar archive of those of the four files `root` holds, as they are on disk; nil with *error.
NSData *DWThemeArchive(NSString *root, NSString **error);

// The files of a tar or zip archive (gzip-compressed or not): device path -> its dictionary. Every
// entry must be one of the four files, under its device path or by its bare name, once, a plain file
// within the property-list reader's size limit, holding a dictionary the reader takes (its depth and
// object limits) that a rewrite can keep exactly. nil with *error naming the first entry that is not.
NSDictionary *DWReadThemeArchive(NSData *archive, NSString **error);
