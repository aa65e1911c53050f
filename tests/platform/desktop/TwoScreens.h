#pragma once

// A laptop panel and a taller desk screen to its right, tops aligned, as Qt's offscreen platform reads them.
inline constexpr auto twoScreensConfig = R"({
  "screens": [
    { "name": "eDP-1", "x": 0, "y": 0, "width": 1512, "height": 982, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 },
    { "name": "DP-2", "x": 1512, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 }
  ]
})";
