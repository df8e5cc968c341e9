# The reference renders: name=options separated by '|'. Shared by the test run and by the check
# that another compiler's build gives the same bytes.
set(CORVELLE_RENDER_REFS
    "ae8_defaults=--width|40|--height|24|--feather|8"
    "ae8_rectangle_gaussian_soft_light=--shape|rectangle|--falloff|gaussian|--blend|soft-light|--color|3366cc|--opacity|80|--width|44|--height|20|--feather|10|--angle|30"
    "ae8_downsample_par=--downsample|1/2|--par|10/11|--origin|20,12|--width|30|--height|16|--feather|6|--blend|difference|--color|ffffff|--opacity|100"
    "ae16_screen_invert=--depth|16|--blend|screen|--color|ff8000|--opacity|60|--invert|--width|40|--height|30|--feather|12|--falloff|quadratic"
    "ae16_transparent=--depth|16|--fill|transparent|--opacity|50|--width|30|--height|20|--feather|6|--falloff|cubic"
    "pr8_luminosity=--host|premiere|--blend|luminosity|--color|80c0ff|--opacity|100|--width|40|--height|24|--feather|10|--falloff|gamma-2.2"
    "prf_color_dodge=--host|premiere|--depth|32|--blend|color-dodge|--color|c08040|--opacity|90|--width|36|--height|36|--feather|14|--angle|-45"
    "prf_mask_only=--host|premiere|--depth|32|--mask-only|--falloff|exponential|--width|50|--height|20|--feather|9|--color|20ff60")
