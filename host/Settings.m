// Settings rows: plain settings, rows that lead to another page, the offline switch, and the
// version footer.
#import "HostClasses.h"
#import "StockColors.h"

#import "standin/foundation/CallLog.h"

@implementation SPTSettingsTableViewCell
- (void)layoutSubviews {
  DWLogCall("SPTSettingsTableViewCell", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:[UIColor whiteColor]];
}
@end

// Lays itself out as every table cell does: it inherits UITableViewCell's layoutSubviews, so its
// hook's slot holds what UITableViewCell answered when the row was installed (that row's replacement).
@implementation SPTNavigationTableViewCell
@end

@implementation SPTTableViewOfflineSwitchCell

static const DWCGFloat kSwitchWidth = 51, kSwitchHeight = 31;

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) {
    _switchView = [[UIView alloc] initWithFrame:DWRectMake(frame.width - 16 - kSwitchWidth,
                                                           (frame.height - kSwitchHeight) / 2, kSwitchWidth,
                                                           kSwitchHeight)];
    [_switchView setBackgroundColor:DWHostGreen()];
    [_contentView addSubview:_switchView];
  }
  return self;
}

- (void)dealloc {
  [_switchView release];
  [super dealloc];
}

- (UIView *)switchView { return _switchView; }

- (void)layoutSubviews {
  DWLogCall("SPTTableViewOfflineSwitchCell", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:[UIColor whiteColor]];
}

@end

#ifndef DW_HOST_WITHOUT_SPT_INFO_VIEW
@implementation SPTInfoView
- (void)layoutSubviews {
  DWLogCall("SPTInfoView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey181818()];
}
@end
#endif
