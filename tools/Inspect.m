// inspect: every screen laid out once, top-down, and every view's colours as the host now has them.
#import "Commands.h"
#import "ColorFormat.h"

#import "host/HostClasses.h"
#import "host/Screens.h"

static NSString *PathComponent(UIView *view, NSUInteger index) {
  return [NSString stringWithFormat:@"%@[%lu]", NSStringFromClass([view class]), (unsigned long)index];
}

static void CollectViews(UIView *view, NSString *path, NSMutableArray *rows) {
  [rows addObject:[NSArray arrayWithObjects:path, view, nil]];
  NSUInteger index = 0;
  for (UIView *subview in [view subviews]) {
    CollectViews(subview, [path stringByAppendingFormat:@"/%@", PathComponent(subview, index++)], rows);
  }
}

static void PrintText(NSString *screen, NSArray *rows) {
  DWPrint(@"== %@\n", screen);
  for (NSArray *row in rows) {
    UIView *view = [row objectAtIndex:1];
    NSMutableString *line = [NSMutableString stringWithFormat:@"%@  background %@", [row objectAtIndex:0],
                                                              DWColorText([view backgroundColor])];
    if ([view isKindOfClass:[UILabel class]]) [line appendFormat:@"  text %@", DWColorText([(UILabel *)view textColor])];
    if ([view isHidden]) [line appendString:@"  hidden"];
    DWPrint(@"%@\n", line);
  }
}

static NSString *ViewJSON(NSArray *row) {
  UIView *view = [row objectAtIndex:1];
  NSString *text = [view isKindOfClass:[UILabel class]] ? DWColorJSON([(UILabel *)view textColor]) : @"null";
  return [NSString stringWithFormat:@"{\"path\":%@,\"class\":%@,\"background\":%@,\"text\":%@,\"hidden\":%@}",
                                    DWJSONString([row objectAtIndex:0]), DWJSONString(NSStringFromClass([view class])),
                                    DWColorJSON([view backgroundColor]), text, [view isHidden] ? @"true" : @"false"];
}

int DWRunInspect(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments
                                command:@"inspect"
                                  flags:[NSArray arrayWithObjects:@"--json", @"--without-library", nil]
                                 values:nil];
  if (options == nil) return 2;
  if (!DWLaunchForCommand(options, ![options has:@"--without-library"])) return 2;
  DWWarnIfNoThemeFiles(@"inspect", DWDeviceRootOf(options));
  BOOL json = [options has:@"--json"];

  NSMutableArray *screenJSON = [NSMutableArray array];
  for (DWScreen *screen in DWHostBuildScreens()) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    [[screen root] layoutIfNeeded];
    NSMutableArray *rows = [NSMutableArray array];
    CollectViews([screen root], PathComponent([screen root], 0), rows);
    if (json) {
      NSMutableArray *views = [NSMutableArray array];
      for (NSArray *row in rows) [views addObject:ViewJSON(row)];
      [screenJSON addObject:[NSString stringWithFormat:@"{\"name\":%@,\"views\":[%@]}", DWJSONString([screen name]),
                                                       [views componentsJoinedByString:@","]]];
    } else {
      PrintText([screen name], rows);
    }
    [pool release];
  }

  UIColor *icon = [DWHostSampleIconConfiguration() iconColor];
  UIColor *label = [DWHostSampleLabelStyle() textColor];
  UIColor *status = [DWHostSampleStatusBarAttributes() tintColor];
  UISlider *slider = DWHostSampleSlider();
  UIColor *tint = [slider _effectiveTintColorWithImage:[slider thumbImage]];
  if (json) {
    DWPrint(@"{\"screens\":[%@],\"getters\":{\"iconColor\":%@,\"labelStyleTextColor\":%@,\"statusBarTintColor\":%@,"
            @"\"sliderTintColor\":%@}}\n",
            [screenJSON componentsJoinedByString:@","], DWColorJSON(icon), DWColorJSON(label), DWColorJSON(status),
            DWColorJSON(tint));
  } else {
    DWPrint(@"== getters\niconColor %@\nlabelStyleTextColor %@\nstatusBarTintColor %@\nsliderTintColor %@\n",
            DWColorText(icon), DWColorText(label), DWColorText(status), DWColorText(tint));
  }
  return 0;
}
