// Icons: what to draw and in which colour, and the view that draws it.
#import "HostClasses.h"
#import "StockColors.h"

#import "standin/foundation/CallLog.h"

@implementation SPTIconConfiguration

// The host draws icons light grey unless a configuration says otherwise.
- (id)init {
  if ((self = [super init]) != nil) _iconColor = [DWHostLightGreyB3B3B3() retain];
  return self;
}

+ (SPTIconConfiguration *)configurationWithIconName:(NSString *)name color:(UIColor *)color {
  SPTIconConfiguration *configuration = [[[self alloc] init] autorelease];
  configuration->_iconName = [name copy];
  [configuration->_iconColor release];
  configuration->_iconColor = [color retain];
  return configuration;
}

- (void)dealloc {
  [_iconName release];
  [_iconColor release];
  [super dealloc];
}

- (NSString *)iconName { return _iconName; }

- (UIColor *)iconColor {
  DWLogCall("SPTIconConfiguration", self, _cmd, nil);
  return _iconColor;
}

@end

@implementation SPTIconView

- (id)initWithFrame:(DWRect)frame configuration:(SPTIconConfiguration *)configuration {
  if ((self = [super initWithFrame:frame]) != nil) _configuration = [configuration retain];
  return self;
}

- (void)dealloc {
  [_configuration release];
  [super dealloc];
}

- (SPTIconConfiguration *)configuration { return _configuration; }

// Asked each time the icon is drawn, so a changed configuration colour shows at once.
- (UIColor *)iconTintColor { return [_configuration iconColor]; }

// Each layout pass tints the icon in its configuration's colour.
- (void)layoutSubviews {
  [super layoutSubviews];
  [self setTintColor:[_configuration iconColor]];
}

@end
