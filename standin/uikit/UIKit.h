// The UIKit subset of the stand-in device: colours, views, labels and the UIKit classes the
// library hooks, with the behaviour the device's UIKit shows for them. Every implementation the
// library may replace writes an entry to the call log (CallLog.h) when it runs.
#pragma once

#import <Foundation/Foundation.h>

// The device's colour component type: 64-bit on 64-bit targets, 32-bit on 32-bit ones. The build
// can force 32-bit components to run everything with the arithmetic of armv7. (Foundation's own
// CGFloat is always the machine's, so the stand-in names its own.)
#if defined(DUSKWELL_FLOAT_COMPONENTS) || !defined(__LP64__)
typedef float DWCGFloat;
#else
typedef double DWCGFloat;
#endif

typedef struct {
  DWCGFloat x, y, width, height;
} DWRect;

static inline DWRect DWRectMake(DWCGFloat x, DWCGFloat y, DWCGFloat width, DWCGFloat height) {
  DWRect rect = {x, y, width, height};
  return rect;
}

// A Core Graphics colour: four components, owned by the UIColor that made it.
struct CGColor {
  DWCGFloat red, green, blue, alpha;
};
typedef struct CGColor *CGColorRef;

@interface UIImage : NSObject {
  NSString *_name;
}
+ (UIImage *)imageNamed:(NSString *)name;
- (NSString *)name;
@end

@interface UIColor : NSObject {
  DWCGFloat _red, _green, _blue, _alpha;
  UIImage *_patternImage;
  struct CGColor _cgColor;
  BOOL _initialised;  // NO between alloc and an initialiser
}
+ (UIColor *)colorWithRed:(DWCGFloat)red green:(DWCGFloat)green blue:(DWCGFloat)blue alpha:(DWCGFloat)alpha;
+ (UIColor *)colorWithWhite:(DWCGFloat)white alpha:(DWCGFloat)alpha;
+ (UIColor *)colorWithPatternImage:(UIImage *)image;
+ (UIColor *)blackColor;
+ (UIColor *)darkGrayColor;
+ (UIColor *)lightGrayColor;
+ (UIColor *)whiteColor;
+ (UIColor *)grayColor;
+ (UIColor *)redColor;
+ (UIColor *)greenColor;
+ (UIColor *)blueColor;
+ (UIColor *)cyanColor;
+ (UIColor *)yellowColor;
+ (UIColor *)magentaColor;
+ (UIColor *)orangeColor;
+ (UIColor *)purpleColor;
+ (UIColor *)brownColor;
+ (UIColor *)clearColor;
- (id)initWithRed:(DWCGFloat)red green:(DWCGFloat)green blue:(DWCGFloat)blue alpha:(DWCGFloat)alpha;
- (id)initWithPatternImage:(UIImage *)image;
// NO, writing nothing, for a pattern colour.
- (BOOL)getRed:(DWCGFloat *)red green:(DWCGFloat *)green blue:(DWCGFloat *)blue alpha:(DWCGFloat *)alpha;
- (CGColorRef)CGColor;
- (UIImage *)patternImage;
// How the trace writes this colour.
- (NSString *)traceValue;
@end

// A colour from a CGColor's components (autoreleased), as UIKit makes one for a layer colour.
UIColor *DWColorWithCGColor(CGColorRef color);

@interface UIView : NSObject {
  UIColor *_backgroundColor;
  BOOL _hidden;
  DWRect _frame;
  NSMutableArray *_subviews;
  UIView *_superview;  // not retained
  UIColor *_tintColor;
}
- (id)initWithFrame:(DWRect)frame;
- (UIColor *)backgroundColor;
- (void)setBackgroundColor:(UIColor *)color;
- (BOOL)isHidden;
- (void)setHidden:(BOOL)hidden;
- (DWRect)frame;
- (void)setFrame:(DWRect)frame;
- (NSArray *)subviews;
- (UIView *)superview;
- (void)addSubview:(UIView *)view;
- (UIColor *)tintColor;
- (void)setTintColor:(UIColor *)color;
- (void)layoutSubviews;
- (void)setNeedsLayout;
// Lays the view out, then its subviews, top-down.
- (void)layoutIfNeeded;
@end

// How a label places its text across its width (the values UIKit gives them).
typedef enum { UITextAlignmentLeft = 0, UITextAlignmentCenter = 1, UITextAlignmentRight = 2 } UITextAlignment;

@interface UILabel : UIView {
  NSString *_text;
  UIColor *_textColor;
  UITextAlignment _textAlignment;
  UIColor *_highlightedTextColor;
  UIColor *_colorBeforeHighlight;
  BOOL _highlighted;
}
- (UITextAlignment)textAlignment;
- (void)setTextAlignment:(UITextAlignment)alignment;
- (NSString *)text;
- (void)setText:(NSString *)text;
- (UIColor *)textColor;
// Stores through the private _setTextColor:.
- (void)setTextColor:(UIColor *)color;
- (void)_setTextColor:(UIColor *)color;
- (void)_setColor:(UIColor *)color;
- (UIColor *)highlightedTextColor;
- (void)setHighlightedTextColor:(UIColor *)color;
- (BOOL)isHighlighted;
// Draws with the highlighted text colour while highlighted, through _setColor:, and with the colour
// it had before once the highlight ends.
- (void)setHighlighted:(BOOL)highlighted;
@end

@interface UIButtonLabel : UILabel
@end

@interface UIButton : UIView {
  UIButtonLabel *_titleLabel;
}
- (UIButtonLabel *)titleLabel;
- (void)setTitle:(NSString *)title;
@end

@interface UITableViewLabel : UILabel
- (void)_setBackgroundCGColor:(CGColorRef)color;
@end

@interface UITableViewCellContentView : UIView
@end

@interface UITableViewCell : UIView {
  UITableViewCellContentView *_contentView;
  UITableViewLabel *_textLabel;
}
- (UITableViewCellContentView *)contentView;
- (UITableViewLabel *)textLabel;
// Highlights the cell's text label along with the cell.
- (void)setHighlighted:(BOOL)highlighted;
@end

@interface UITableView : UIView
@end

@interface _UITableViewHeaderFooterViewBackground : UIView
@end

@interface _UITableViewHeaderFooterContentView : UIView
@end

@interface UITableViewHeaderFooterView : UIView
@end

@interface UICollectionView : UIView
@end

@interface UICollectionViewCell : UIView
@end

@interface UITextField : UIView
@end

@interface UISearchBarTextField : UITextField
@end

@interface _UIBarBackground : UIView
@end

@interface UITabBar : UIView
@end

@interface UINavigationBar : UIView
@end

@interface UISlider : UIView {
  UIImage *_thumbImage;
  UIColor *_trackColor;
}
- (UIImage *)thumbImage;
// The colour its last layout pass drew the track and thumb in, asked of _effectiveTintColorWithImage:.
- (UIColor *)trackColor;
- (UIColor *)_effectiveTintColorWithImage:(UIImage *)image;
@end

@interface UIStatusBarForegroundStyleAttributes : NSObject {
  BOOL _lightContent;
}
- (id)initWithLightContent:(BOOL)light;
- (UIColor *)tintColor;
@end

// The status bar draws its glyphs in its style attributes' tint colour.
@interface UIStatusBar : UIView {
  UIStatusBarForegroundStyleAttributes *_foregroundStyle;
  UIColor *_glyphColor;
}
// The colour its last layout pass drew the glyphs in, asked of its style attributes' tintColor.
- (UIColor *)glyphColor;
- (UIStatusBarForegroundStyleAttributes *)foregroundStyle;
- (void)setForegroundStyle:(UIStatusBarForegroundStyleAttributes *)style;
@end

#ifdef __cplusplus
extern "C" {
#endif

// The trace value of a CGColor reference: "CGColor(R G B A)", or "NULL".
NSString *DWTraceCGColor(CGColorRef color);
// The trace value of a colour: "UIColor(R G B A)", "UIColor(pattern)" or "UIColor(uninitialised)".
NSString *DWTraceColor(UIColor *color);
// The trace value of a colour component: exact, and the same in both widths for values both hold.
NSString *DWTraceComponent(DWCGFloat component);

#ifdef __cplusplus
}
#endif
