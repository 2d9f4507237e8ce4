#import "UIKit.h"

#import "../foundation/CallLog.h"
#import "../foundation/TraceLog.h"

@implementation UIView

- (id)init { return [self initWithFrame:DWRectMake(0, 0, 0, 0)]; }

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super init]) != nil) {
    _frame = frame;
    _subviews = [[NSMutableArray alloc] init];
  }
  return self;
}

- (void)dealloc {
  for (UIView *view in _subviews) view->_superview = nil;
  [_subviews release];
  [_backgroundColor release];
  [_tintColor release];
  [super dealloc];
}

- (UIColor *)backgroundColor { return _backgroundColor; }

- (void)setBackgroundColor:(UIColor *)color {
  DWLogCall("UIView", self, _cmd, color);
  DW_TRACE_IMPL("UIView", DWTraceValue(color));
  [color retain];
  [_backgroundColor release];
  _backgroundColor = color;
}

- (BOOL)isHidden { return _hidden; }

- (void)setHidden:(BOOL)hidden {
  DWLogCall("UIView", self, _cmd, [NSNumber numberWithBool:hidden]);
  DW_TRACE_IMPL("UIView", DWTraceBool(hidden));
  _hidden = hidden;
}

- (DWRect)frame { return _frame; }
- (void)setFrame:(DWRect)frame { _frame = frame; }
- (NSArray *)subviews { return _subviews; }
- (UIView *)superview { return _superview; }

- (void)addSubview:(UIView *)view {
  if (view == nil || view->_superview == self) return;
  [_subviews addObject:view];
  view->_superview = self;
}

- (UIColor *)tintColor {
  if (_tintColor != nil) return _tintColor;
  return _superview != nil ? [_superview tintColor] : [UIColor colorWithRed:0 green:(DWCGFloat)122 / 255 blue:1 alpha:1];
}

- (void)setTintColor:(UIColor *)color {
  [color retain];
  [_tintColor release];
  _tintColor = color;
}

- (void)layoutSubviews {
  DWLogCall("UIView", self, _cmd, nil);
  DW_TRACE_IMPL("UIView", nil);
}

- (void)setNeedsLayout {}

- (void)layoutIfNeeded {
  [self layoutSubviews];
  for (UIView *view in [[_subviews copy] autorelease]) [view layoutIfNeeded];
}

@end

@implementation UILabel

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) _textColor = [[UIColor blackColor] retain];
  return self;
}

- (void)dealloc {
  [_text release];
  [_textColor release];
  [_highlightedTextColor release];
  [_colorBeforeHighlight release];
  [super dealloc];
}

- (UIColor *)highlightedTextColor { return _highlightedTextColor; }

- (void)setHighlightedTextColor:(UIColor *)color {
  [color retain];
  [_highlightedTextColor release];
  _highlightedTextColor = color;
}

- (BOOL)isHighlighted { return _highlighted; }

- (void)setHighlighted:(BOOL)highlighted {
  if (highlighted == _highlighted) return;
  _highlighted = highlighted;
  if (highlighted) {
    if (_highlightedTextColor == nil) return;
    [_colorBeforeHighlight release];
    _colorBeforeHighlight = [_textColor retain];
    [self _setColor:_highlightedTextColor];
  } else if (_colorBeforeHighlight != nil) {
    UIColor *restored = [_colorBeforeHighlight autorelease];
    _colorBeforeHighlight = nil;
    [self _setColor:restored];
  }
}

- (NSString *)text { return _text; }

- (void)setText:(NSString *)text {
  NSString *copy = [text copy];
  [_text release];
  _text = copy;
}

- (UIColor *)textColor { return _textColor; }

- (UITextAlignment)textAlignment { return _textAlignment; }
- (void)setTextAlignment:(UITextAlignment)alignment { _textAlignment = alignment; }

- (void)setTextColor:(UIColor *)color {
  DW_TRACE_IMPL("UILabel", DWTraceValue(color));
  DW_TRACE_MESSAGE(self, @selector(_setTextColor:), DWTraceValue(color), [self _setTextColor:color]);
}

- (void)_setTextColor:(UIColor *)color {
  DWLogCall("UILabel", self, _cmd, color);
  DW_TRACE_IMPL("UILabel", DWTraceValue(color));
  [color retain];
  [_textColor release];
  _textColor = color;
}

// The colour the label draws with while highlighted or animated; it ends as the text colour.
- (void)_setColor:(UIColor *)color {
  DWLogCall("UILabel", self, _cmd, color);
  DW_TRACE_IMPL("UILabel", DWTraceValue(color));
  [color retain];
  [_textColor release];
  _textColor = color;
}

- (void)layoutSubviews {
  DWLogCall("UILabel", self, _cmd, nil);
  DW_TRACE_IMPL("UILabel", nil);
}

@end

@implementation UIButtonLabel
- (void)layoutSubviews {
  DWLogCall("UIButtonLabel", self, _cmd, nil);
  DW_TRACE_IMPL("UIButtonLabel", nil);
}
@end

@implementation UIButton

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) {
    _titleLabel = [[UIButtonLabel alloc] initWithFrame:DWRectMake(8, 4, frame.width - 16, frame.height - 8)];
    [_titleLabel setTextColor:[UIColor colorWithRed:0 green:(DWCGFloat)122 / 255 blue:1 alpha:1]];
    [_titleLabel setTextAlignment:UITextAlignmentCenter];
    [self addSubview:_titleLabel];
  }
  return self;
}

- (void)dealloc {
  [_titleLabel release];
  [super dealloc];
}

- (UIButtonLabel *)titleLabel { return _titleLabel; }
- (void)setTitle:(NSString *)title { [_titleLabel setText:title]; }

@end

@implementation UITableViewLabel
// A table label keeps its background as a layer colour.
- (void)_setBackgroundCGColor:(CGColorRef)color {
  DWLogRawCall("UITableViewLabel", self, _cmd, color);
  DW_TRACE_IMPL("UITableViewLabel", DWTraceCGColor(color));
  [_backgroundColor release];
  _backgroundColor = [DWColorWithCGColor(color) retain];
}
@end
