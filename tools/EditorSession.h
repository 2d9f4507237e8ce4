// The editor's state and its answers to the page: the pane, the files' values, the pictures, the
// doctor's findings; a change from the page written with theme set's writer; an outside change to the
// files noticed by looking at them between requests; themes downloaded and uploaded as archives.
#pragma once

#import <Foundation/Foundation.h>

#import "EditorServer.h"

@class DWPaneLayout, DWEditorScreens;

@interface DWEditorSession : NSObject {
 @public
  NSString *root;
  NSString *token;          // this run's, for the page's links to its own script and style
  DWPaneLayout *layout;
  DWEditorScreens *screens;
  NSString *filesSeen;      // the four files' stat stamps at the last drawing
  NSDictionary *values;     // the cells' values read with the last drawing (EditorPane.h)
  NSDictionary *pending;    // an uploaded theme waiting to be confirmed: device path -> dictionary
  unsigned long pendingNumber;
  NSString *lastChange;     // what the last change was, for the page's status line
  NSTimeInterval lastLook;  // when the files were last looked at
  NSTimeInterval lastPost;  // when the page last sent a change
}
// Reads the pane and draws the screens; nil with *error.
- (id)initWithRoot:(NSString *)deviceRoot
            layout:(DWPaneLayout *)pane
             token:(NSString *)runToken
             error:(NSString **)error;
- (void)handle:(const DWEditorRequest *)request reply:(DWEditorReply *)reply;
// Between requests: works out who painted what in the last drawing, and redraws when the files
// changed since (looking at most every tenth of a second).
- (void)idle;
@end
