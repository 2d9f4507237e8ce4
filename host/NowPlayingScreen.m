// Now playing: artwork, the track, progress, playback controls, volume and the device bar.
#import "ScreenParts.h"
#import "StockColors.h"

UIView *DWBuildNowPlayingScreen(void) {
  DWRect screen = DWRectMake(0, 0, kScreenWidth, kScreenHeight);
  UIView *root = [[[SPTNowPlayingContainerViewController alloc] initWithFrame:screen] autorelease];

  SPTNowPlayingBackgroundGradientView *background =
      DWAddView(root, [SPTNowPlayingBackgroundGradientView class], screen);
  GLUEGradientView *shade = DWAddView(background, [GLUEGradientView class], DWRectMake(0, 0, kScreenWidth, 333));
  [shade glue_applyStyle:[GLUEGradientStyle styleWithTopColor:DWHostColor(0x5A, 0x3E, 0x2B)
                                                  bottomColor:DWHostGrey121212()]];
  DWAddStatusBar(root, YES);  // light content over the dark screen

  SPTShareScreenshotBannerView *banner =
      DWAddView(root, [SPTShareScreenshotBannerView class], DWRectMake(16, 28, 343, 40));
  DWAddLabel(banner, DWRectMake(12, 10, 280, 20), @"Share what you're listening to", [UIColor whiteColor]);
  DWAddIcon(banner, DWRectMake(307, 8, 24, 24), @"share", [UIColor whiteColor]);

  SPTAsyncLoadingView *artwork = DWAddView(root, [SPTAsyncLoadingView class], DWRectMake(24, 80, 327, 327));
  DWAddIcon(artwork, DWRectMake(139.5, 139.5, 48, 48), @"album", DWHostLightGreyB3B3B3());

  SPTArtistNPVTrackModuleView *track =
      DWAddView(root, [SPTArtistNPVTrackModuleView class], DWRectMake(24, 419, 327, 56));
  DWAddLabel(track, DWRectMake(0, 6, 280, 24), @"Midnight Harbour", [UIColor whiteColor]);
  DWAddLabel(track, DWRectMake(0, 32, 280, 18), @"The Low Tides", DWHostLightGreyB3B3B3());
  DWAddIcon(track, DWRectMake(299, 16, 24, 24), @"heart", DWHostGreen());

  SPTNowPlayingDurationViewController *duration =
      DWAddView(root, [SPTNowPlayingDurationViewController class], DWRectMake(24, 483, 327, 40));
  DWAddView(duration, [SPTNowPlayingSlider class], DWRectMake(0, 0, 327, 16));
  UILabel *elapsed = DWAddView(duration, [UILabel class], DWRectMake(0, 20, 60, 16));
  [elapsed setText:@"1:12"];
  [elapsed setTextColor:DWHostLightGreyB3B3B3()];
  UILabel *remaining = DWAddView(duration, [UILabel class], DWRectMake(267, 20, 60, 16));
  [remaining setText:@"-2:31"];
  [remaining setTextColor:DWHostLightGreyB3B3B3()];
  [remaining setTextAlignment:UITextAlignmentRight];

  NSArray *controls = [NSArray arrayWithObjects:@"Shuffle", @"Prev", @"Pause", @"Next", @"Repeat", nil];
  DWCGFloat x = 24;
  for (NSString *title in controls) {
    DWAddButton(root, [SPTActionButton class], DWRectMake(x, 535, 60, 48), title);
    x += 66.75;
  }

  SPTGaiaVolumeView *volume = DWAddView(root, [SPTGaiaVolumeView class], DWRectMake(24, 595, 327, 24));
  DWAddIcon(volume, DWRectMake(0, 2, 20, 20), @"volume", DWHostLightGreyB3B3B3());
  DWAddView(volume, [UISlider class], DWRectMake(32, 4, 295, 16));

  SPTNowPlayingChromecastBarView *devices =
      DWAddView(root, [SPTNowPlayingChromecastBarView class], DWRectMake(0, 627, kScreenWidth, 40));
  DWAddIcon(devices, DWRectMake(16, 8, 24, 24), @"devices", [UIColor blackColor]);
  DWAddLabel(devices, DWRectMake(48, 10, 300, 20), @"Playing on Living Room TV", [UIColor blackColor]);
  return root;
}
