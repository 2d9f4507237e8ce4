// The editor's pictures: every host screen as its own PNG, without the library (drawn once, by a
// child process, since this process has the library loaded) and with it (drawn again after every
// change, in this process: the library reads the theme's files afresh at each layout pass), with
// each themed view's rectangle and colour, and the doctor's reading of the files from a child
// process that runs beside the drawing. Who set each view's background (preview --explain's
// attribution) takes two more passes over every screen: it is worked out after the pictures are out.
#pragma once

#import <Foundation/Foundation.h>

@interface DWEditorScreens : NSObject {
 @public
  NSString *root;
  NSMutableArray *names;        // screen names, in the host's order
  NSMutableArray *sizes;        // {"width", "height"} per screen
  NSMutableArray *without;      // PNG data per screen, drawn once
  NSMutableArray *with;         // PNG data per screen, the last drawing
  NSMutableArray *withPixels;   // raw pixels per screen, to keep a PNG when nothing changed
  NSMutableArray *withVersions; // a hash per PNG, for the page to ask for only what changed
  NSMutableArray *withoutVersions;
  NSMutableArray *regions;      // per screen: [{"path", "class", "color", "x", "y", "width", "height"}]
  NSDictionary *painters;       // the attribution of the last drawing (Explain.h), nil until worked out
  BOOL attributionFailed;       // it could not be worked out for the last drawing
  NSDictionary *doctor;         // doctor --json, or nil when it could not run
  NSUInteger redrawnScreens;    // how many PNGs the last drawing had to make anew
  double lastMilliseconds;      // the last drawing, change to pictures
}
// Draws the half without the library; NO with *error when the child cannot.
- (id)initWithRoot:(NSString *)deviceRoot error:(NSString **)error;
// Draws the half with the library and reads the doctor's findings; NO with *error when drawing failed.
// The attribution is gone until -attribute: works it out again.
- (BOOL)redraw:(NSString **)error;
- (BOOL)needsAttribution;
- (BOOL)attribute:(NSString **)error;
// The screen's regions, each with "painter" (DWPainterName), null while the attribution is not known.
- (NSArray *)regionsOfScreen:(NSUInteger)index;
@end
