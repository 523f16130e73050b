# Names shared by the install rules and the package tests.
# The one application id: the desktop file, the AppStream component and the icon are named by it.
set(DRILL_APP_ID io.github.drill.Drill)
# The icon's sizes in the hicolor theme: whole multiples of the 32 × 32 picture.
set(DRILL_ICON_SIZES 32 64 128 256)
