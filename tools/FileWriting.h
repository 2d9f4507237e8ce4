// Writing theme files so that nothing is lost: a lock for each read-modify-write, a temporary file
// beside the target that is read back and compared before it takes the target's place, the target's
// mode kept, symbolic links written through. Every failure leaves the old files as they were, takes
// its temporary files away and says what went wrong.
#pragma once

#import <Foundation/Foundation.h>

#include <sys/types.h>

// The file a write to `localPath` must replace: the path itself, or the target of the symbolic link
// it is (followed to the end). nil with *error when the link dangles or loops.
NSString *DWWriteTarget(NSString *localPath, NSString **error);

// What the symbolic link at `path` points at, or nil when it is not a link.
NSString *DWSymbolicLinkTarget(NSString *path);

// An exclusive lock on `directory`, held until DWUnlock: every duskwell-sim that writes theme files
// there takes it before it reads. -1 with *error when the directory cannot be opened.
int DWLockDirectory(NSString *directory, NSString **error);
void DWUnlock(int lock);

// NO with *error naming the first value a property-list file cannot hold (NaN, an infinity), and
// where it is ("key \"x\"", "key \"a\", item 2").
BOOL DWCheckStorable(id value, NSString *where, NSString **error);

// A complete binary property-list file for `dictionary`, as a hidden temporary in `directory`, with
// `mode` (and `owner`/`group` when not -1), synced and read back equal. Its path, or nil with *error.
NSString *DWWriteTemporary(NSDictionary *dictionary, NSString *directory, NSString *name, mode_t mode, uid_t owner,
                           gid_t group, NSString **error);

// Creates `directory` and its missing parents, noting each one made (outermost first) in `made`; NO
// with *error naming the path that is in the way.
BOOL DWMakeDirectories(NSString *directory, NSMutableArray *made, NSString **error);
// Takes away the directories a failed write made, innermost first, if they are still empty.
void DWRemoveDirectories(NSArray *made);

// fsync of a directory, so that renames and links in it survive a crash.
void DWSyncDirectory(NSString *directory);
