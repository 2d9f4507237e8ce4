#import "Suggest.h"

#include <stdlib.h>

// Optimal string alignment distance: insertions, deletions, substitutions and adjacent swaps.
static NSUInteger EditDistance(NSString *a, NSString *b) {
  NSUInteger n = [a length], m = [b length];
  NSUInteger *rows = calloc(3 * (m + 1), sizeof *rows);
  NSUInteger *before = rows, *previous = rows + (m + 1), *current = rows + 2 * (m + 1);
  for (NSUInteger j = 0; j <= m; ++j) previous[j] = j;
  for (NSUInteger i = 1; i <= n; ++i) {
    current[0] = i;
    unichar ca = [a characterAtIndex:i - 1];
    for (NSUInteger j = 1; j <= m; ++j) {
      unichar cb = [b characterAtIndex:j - 1];
      NSUInteger best = MIN(previous[j] + 1, current[j - 1] + 1);
      best = MIN(best, previous[j - 1] + (ca == cb ? 0 : 1));
      if (i > 1 && j > 1 && ca == [b characterAtIndex:j - 2] && [a characterAtIndex:i - 2] == cb) {
        best = MIN(best, before[j - 2] + 1);
      }
      current[j] = best;
    }
    NSUInteger *spare = before;
    before = previous;
    previous = current;
    current = spare;
  }
  NSUInteger distance = previous[m];
  free(rows);
  return distance;
}

NSString *DWSuggestion(NSString *word, NSArray *candidates) {
  NSString *lower = [word lowercaseString];
  for (NSString *candidate in candidates) {
    if ([[candidate lowercaseString] isEqualToString:lower]) return candidate;
  }
  // Short words tolerate one edit, longer ones up to a third of their length, at most three.
  NSUInteger allowed = MIN((NSUInteger)3, MAX((NSUInteger)1, [word length] / 3));
  NSString *best = nil;
  NSUInteger bestDistance = allowed + 1;
  for (NSString *candidate in candidates) {
    NSUInteger distance = EditDistance(lower, [candidate lowercaseString]);
    if (distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

NSString *DWDidYouMean(NSString *word, NSArray *candidates) {
  NSString *suggestion = DWSuggestion(word, candidates);
  return suggestion ? [NSString stringWithFormat:@" (did you mean '%@'?)", suggestion] : @"";
}
