#pragma once

// Registers the images of the resource bundle; call once before the first window is built.
void initUiResources();
