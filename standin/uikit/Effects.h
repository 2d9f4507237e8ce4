// Blur views and gradient layers: the visual-effect pieces the host layers over artwork.
#pragma once

#import "UIKit.h"

// A view that blurs what lies behind it; drawn here as its translucent tint.
@interface UIVisualEffectView : UIView
@end

// A layer's geometry and background; layers are not part of the view tree here.
@interface CALayer : NSObject {
  DWRect _frame;
}
- (DWRect)frame;
- (void)setFrame:(DWRect)frame;
@end

// A layer that shades between its colours, top to bottom.
@interface CAGradientLayer : CALayer {
  NSArray *_colors;
}
- (NSArray *)colors;
- (void)setColors:(NSArray *)colors;
@end
