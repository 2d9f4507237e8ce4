// The host's lists: its table view, track rows, accessory labels and the headers above a list.
#import "HostClasses.h"
#import "StockColors.h"

#import "standin/foundation/CallLog.h"

@implementation SPTTableView
- (void)layoutSubviews {
  DWLogCall("SPTTableView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}
@end

@implementation SPTTableViewCell

// The background is set before the first layout too, so that the label's first backing colour matches.
- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) {
    [self setBackgroundColor:DWHostGrey121212()];
    [_textLabel setTextColor:[UIColor whiteColor]];
  }
  return self;
}

- (void)layoutSubviews {
  DWLogCall("SPTTableViewCell", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}

@end

@implementation SPTTrackAccessoryLabel

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [self setTextColor:DWHostLightGreyB3B3B3()];
  return self;
}

- (void)layoutSubviews {
  DWLogCall("SPTTrackAccessoryLabel", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
}

@end

@implementation SPTEntityTableHeaderView
- (void)layoutSubviews {
  DWLogCall("SPTEntityTableHeaderView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}
@end

@implementation SPTEntityStickyHeaderView

static const DWCGFloat kBottomGradientHeight = 8;

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [self setBackgroundColor:DWHostGrey121212()];
  return self;
}

- (void)dealloc {
  [_bottomGradientView release];
  [super dealloc];
}

// Fades the header into the list scrolling under it.
- (GLUEGradientView *)bottomGradientView {
  DWLogCall("SPTEntityStickyHeaderView", self, _cmd, nil);
  if (_bottomGradientView == nil) {
    _bottomGradientView = [[GLUEGradientView alloc]
        initWithFrame:DWRectMake(0, _frame.height - kBottomGradientHeight, _frame.width, kBottomGradientHeight)];
    [_bottomGradientView glue_applyStyle:[GLUEGradientStyle styleWithTopColor:DWHostGrey121212()
                                                                  bottomColor:[UIColor clearColor]]];
  }
  return _bottomGradientView;
}

- (void)layoutSubviews {
  [super layoutSubviews];
  GLUEGradientView *gradient = [self bottomGradientView];
  [gradient setFrame:DWRectMake(0, _frame.height - kBottomGradientHeight, _frame.width, kBottomGradientHeight)];
  [self addSubview:gradient];
}

@end

@implementation SPTCollectionToolbarHeaderView
- (void)layoutSubviews {
  DWLogCall("SPTCollectionToolbarHeaderView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}
@end

@implementation SPTStationEntityPullToRefreshView
- (void)layoutSubviews {
  DWLogCall("SPTStationEntityPullToRefreshView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}
@end
