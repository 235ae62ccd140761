// The entries of the camera maker's driver SENNTCAM.dll that the module calls. The DLL imports
// them by ordinal (the number beside each); on Linux the simulated driver exports them by name.
// Every entry is stdcall; statuses are 32-bit signed, 0 success, negative an error code.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define DRIVER_CALL __stdcall
#elif defined(__i386__)
#define DRIVER_CALL __attribute__((stdcall))
#else
#define DRIVER_CALL
#endif

// Bit of picstat that stays set while no finished picture is ready.
inline constexpr int32_t kPicstatPictureNotReady = 2;
// Readout status meaning: no picture in the board's buffer.
inline constexpr int32_t kReadoutNoPicture = 100;
// Modes of INIT_BOARD.
inline constexpr int32_t kBoardOpen = 2;
inline constexpr int32_t kBoardClose = 0;
// Size of the settings text buffer.
inline constexpr int32_t kSettingsTextSize = 200;

extern "C" {
int32_t DRIVER_CALL PREPARE_BOARD(int32_t zero);                                   // 2
int32_t DRIVER_CALL INIT_BOARD(int32_t mode);                                      // 1
int32_t DRIVER_CALL GET_IMAGE_SIZE(int32_t* width, int32_t* height);               // 4
double DRIVER_CALL GET_DELAY_TIME(void);                                           // 58, microseconds
double DRIVER_CALL GET_EXPOSURE_TIME(void);                                        // 59, microseconds
int32_t DRIVER_CALL RUN_COC(int32_t mode);                                         // 6
int32_t DRIVER_CALL GET_IMAGE_STATUS(int32_t* picstat);                            // 5
int32_t DRIVER_CALL READ_IMAGE_12BIT(int32_t zero, int32_t width, int32_t height,
                                     uint16_t* pixels);                            // 14
int32_t DRIVER_CALL READ_IMAGE_8BIT(int32_t zero, int32_t width, int32_t height,
                                    uint8_t* pixels);                              // 13
int32_t DRIVER_CALL STOP_COC(int32_t zero);                                        // 7
int32_t DRIVER_CALL CLOSE_BOARD(void);                                             // 21
int32_t DRIVER_CALL READ_SETTINGS(int32_t* mode, int32_t* trig, int32_t* roix1, int32_t* roix2,
                                  int32_t* roiy1, int32_t* roiy2, int32_t* hbin, int32_t* vbin,
                                  char* text, int32_t textSize);                   // 81
int32_t DRIVER_CALL WRITE_SETTINGS(int32_t mode, int32_t trig, int32_t roix1, int32_t roix2,
                                   int32_t roiy1, int32_t roiy2, int32_t hbin, int32_t vbin,
                                   const char* text);                              // 8
int32_t DRIVER_CALL SETTINGS_DIALOG(void* parentWindow, int32_t zero, const char* title);  // 20
}
