// Pop-up menus: the sheet, its action buttons and its cancel button.
#import "HostClasses.h"
#import "StockColors.h"

#import "standin/foundation/CallLog.h"

@implementation SPTPopupView
- (void)layoutSubviews {
  DWLogCall("SPTPopupView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
}
@end

@implementation SPTPopupActionButton

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [_titleLabel setTextColor:[UIColor whiteColor]];
  return self;
}

- (void)layoutSubviews {
  DWLogCall("SPTPopupActionButton", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
}

@end

@implementation SPTContextMenuViewCancelButton

// Its background is set once; its layout is UIView's own, inherited (the hooking library adds the
// replacement to this class and calls UIView's implementation through the slot).
- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) {
    [_titleLabel setTextColor:DWHostLightGreyB3B3B3()];
    [self setBackgroundColor:DWHostGrey181818()];
  }
  return self;
}

@end
