// The program's one application object; AfxWinMain finds it at start.
#include "app/wallpaper_app.h"

qm::WallpaperApp theApp;
