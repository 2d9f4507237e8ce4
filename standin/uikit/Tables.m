// Tables, collections, bars and fields: the UIKit containers the host builds its screens from.
#import "UIKit.h"

#import "../foundation/CallLog.h"
#import "../foundation/TraceLog.h"

static void StackSubviews(UIView *view) {
  DWCGFloat y = 0;
  for (UIView *subview in [view subviews]) {
    DWRect frame = [subview frame];
    frame.y = y;
    if (frame.width == 0) frame.width = [view frame].width;
    [subview setFrame:frame];
    y += frame.height;
  }
}

@implementation UITableView
- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [self setBackgroundColor:[UIColor whiteColor]];
  return self;
}
- (void)layoutSubviews {
  DWLogCall("UITableView", self, _cmd, nil);
  DW_TRACE_IMPL("UITableView", nil);
  StackSubviews(self);
}
@end

@implementation UITableViewCellContentView
- (void)layoutSubviews {
  DWLogCall("UITableViewCellContentView", self, _cmd, nil);
  DW_TRACE_IMPL("UITableViewCellContentView", nil);
}
@end

@implementation UITableViewCell

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) {
    [self setBackgroundColor:[UIColor whiteColor]];
    _contentView = [[UITableViewCellContentView alloc] initWithFrame:DWRectMake(0, 0, frame.width, frame.height)];
    _textLabel = [[UITableViewLabel alloc] initWithFrame:DWRectMake(16, 0, frame.width - 32, frame.height)];
    [_contentView addSubview:_textLabel];
    [self addSubview:_contentView];
  }
  return self;
}

- (void)dealloc {
  [_contentView release];
  [_textLabel release];
  [super dealloc];
}

- (UITableViewCellContentView *)contentView { return _contentView; }

- (void)setHighlighted:(BOOL)highlighted { [_textLabel setHighlighted:highlighted]; }
- (UITableViewLabel *)textLabel { return _textLabel; }

// The cell gives its label its own background so that the label draws opaquely.
- (void)layoutSubviews {
  DWLogCall("UITableViewCell", self, _cmd, nil);
  DW_TRACE_IMPL("UITableViewCell", nil);
  [_contentView setFrame:DWRectMake(0, 0, _frame.width, _frame.height)];
  UIColor *background = _backgroundColor != nil ? _backgroundColor : [UIColor whiteColor];
  DW_TRACE_MESSAGE(_textLabel, @selector(_setBackgroundCGColor:), DWTraceCGColor([background CGColor]),
                   [_textLabel _setBackgroundCGColor:[background CGColor]]);
}

@end

@implementation _UITableViewHeaderFooterViewBackground
- (void)layoutSubviews {
  DWLogCall("_UITableViewHeaderFooterViewBackground", self, _cmd, nil);
  DW_TRACE_IMPL("_UITableViewHeaderFooterViewBackground", nil);
  UIColor *stock = [UIColor colorWithRed:(DWCGFloat)247 / 255 green:(DWCGFloat)247 / 255
                                    blue:(DWCGFloat)247 / 255 alpha:1];
  DW_TRACE_MESSAGE(self, @selector(setBackgroundColor:), DWTraceValue(stock), [self setBackgroundColor:stock]);
}
@end

@implementation _UITableViewHeaderFooterContentView
- (void)layoutSubviews {
  DWLogCall("_UITableViewHeaderFooterContentView", self, _cmd, nil);
  DW_TRACE_IMPL("_UITableViewHeaderFooterContentView", nil);
}
@end

@implementation UITableViewHeaderFooterView
- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) {
    DWRect bounds = DWRectMake(0, 0, frame.width, frame.height);
    [self addSubview:[[[_UITableViewHeaderFooterViewBackground alloc] initWithFrame:bounds] autorelease]];
    [self addSubview:[[[_UITableViewHeaderFooterContentView alloc] initWithFrame:bounds] autorelease]];
  }
  return self;
}
@end

@implementation UICollectionView
- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [self setBackgroundColor:[UIColor blackColor]];
  return self;
}
- (void)layoutSubviews {
  DWLogCall("UICollectionView", self, _cmd, nil);
  DW_TRACE_IMPL("UICollectionView", nil);
  StackSubviews(self);
}
@end

@implementation UICollectionViewCell
- (void)layoutSubviews {
  DWLogCall("UICollectionViewCell", self, _cmd, nil);
  DW_TRACE_IMPL("UICollectionViewCell", nil);
}
@end

@implementation UITextField
- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [self setBackgroundColor:[UIColor whiteColor]];
  return self;
}
@end

@implementation UISearchBarTextField
- (void)layoutSubviews {
  DWLogCall("UISearchBarTextField", self, _cmd, nil);
  DW_TRACE_IMPL("UISearchBarTextField", nil);
  UIColor *stock = [UIColor colorWithRed:(DWCGFloat)142 / 255 green:(DWCGFloat)142 / 255
                                    blue:(DWCGFloat)147 / 255 alpha:0.12];
  DW_TRACE_MESSAGE(self, @selector(setBackgroundColor:), DWTraceValue(stock), [self setBackgroundColor:stock]);
}
@end

@implementation _UIBarBackground
- (void)layoutSubviews {
  DWLogCall("_UIBarBackground", self, _cmd, nil);
  DW_TRACE_IMPL("_UIBarBackground", nil);
  UIColor *stock = [UIColor colorWithRed:(DWCGFloat)248 / 255 green:(DWCGFloat)248 / 255
                                    blue:(DWCGFloat)248 / 255 alpha:0.82];
  DW_TRACE_MESSAGE(self, @selector(setBackgroundColor:), DWTraceValue(stock), [self setBackgroundColor:stock]);
}
@end

static void AddBarBackground(UIView *bar) {
  DWRect frame = [bar frame];
  [bar addSubview:[[[_UIBarBackground alloc] initWithFrame:DWRectMake(0, 0, frame.width, frame.height)] autorelease]];
}

@implementation UITabBar
- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) AddBarBackground(self);
  return self;
}
@end

@implementation UINavigationBar
- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) AddBarBackground(self);
  return self;
}
@end
