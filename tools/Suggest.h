// "Did you mean ...?" for a mistyped command, option or key.
#pragma once

#import <Foundation/Foundation.h>

// The candidate `word` most likely stands for: one that differs only in case, else the closest by
// edit distance (a swap of two neighbours counts as one edit) if it is close enough to be a typo.
// nil when nothing is close.
NSString *DWSuggestion(NSString *word, NSArray *candidates);

// " (did you mean 'X'?)" for the suggestion, or "" when there is none: ready to append to a message.
NSString *DWDidYouMean(NSString *word, NSArray *candidates);
