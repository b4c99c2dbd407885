"""What makes Wine's fresh prefix look and behave as Windows 95: the settings
every base prefix gets, and Wine's own fonts."""

import os
import shutil

THEME_MANAGER = r"HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager"

# Windows 95's "Windows Standard" colour scheme, by the names Wine's system
# colours are read from in HKCU\Control Panel\Colors.  All 31 names Wine reads
# are given: the fresh prefix holds the light style's value for each.
WIN95_COLOURS = [
    # The grey 3-D face with its white, grey and black edges.
    ("ButtonFace", "192 192 192"), ("ButtonShadow", "128 128 128"), ("ButtonHilight", "255 255 255"),
    ("ButtonDkShadow", "0 0 0"), ("ButtonLight", "192 192 192"), ("ButtonText", "0 0 0"),
    ("GrayText", "128 128 128"),
    # Windows 95 has no alternate face: the plain face stands in.
    ("ButtonAlternateFace", "192 192 192"),
    # Navy active captions, grey inactive ones; each gradient's far end is its
    # own colour, so no caption is drawn as a gradient.
    ("ActiveTitle", "0 0 128"), ("GradientActiveTitle", "0 0 128"), ("TitleText", "255 255 255"),
    ("InactiveTitle", "128 128 128"), ("GradientInactiveTitle", "128 128 128"),
    ("InactiveTitleText", "192 192 192"),
    ("ActiveBorder", "192 192 192"), ("InactiveBorder", "192 192 192"), ("WindowFrame", "0 0 0"),
    # White windows with black text; navy selection.
    ("Window", "255 255 255"), ("WindowText", "0 0 0"),
    ("Hilight", "0 0 128"), ("HilightText", "255 255 255"), ("HotTrackingColor", "0 0 128"),
    # Grey menus; the flat-menu colours of later Windows follow them.
    ("Menu", "192 192 192"), ("MenuText", "0 0 0"), ("MenuBar", "192 192 192"), ("MenuHilight", "0 0 128"),
    ("Scrollbar", "192 192 192"),
    # The teal desktop and the grey behind MDI children.
    ("Background", "0 128 128"), ("AppWorkSpace", "128 128 128"),
    # Pale yellow tooltips.
    ("InfoText", "0 0 0"), ("InfoWindow", "255 255 225"),
]

# What the base prefix gets on top of Wine's fresh one.
BASE_SETTINGS = "\n".join([
    # Windows 95: version 4.0, RegDeleteKeyA takes subkeys along.
    r"= HKCU\Software\Wine|Version|sz|win95",
    # No window manager on Xvfb: without this Wine waits 2 s at every window change.
    r"= HKCU\Software\Wine\X11 Driver|Managed|sz|N",
    # Keep win.ini's [devices], [printerports] and [windows] in the file, as
    # Windows 95 does: Wine keeps a mapped section in the registry, and never
    # reads the file's.  [windows] is mapped by its key's default value.
    r"- HKLM\Software\Microsoft\Windows NT\CurrentVersion\IniFileMapping\win.ini|devices",
    r"- HKLM\Software\Microsoft\Windows NT\CurrentVersion\IniFileMapping\win.ini|printerports",
    r"- HKLM\Software\Microsoft\Windows NT\CurrentVersion\IniFileMapping\win.ini\windows|@",
    # Windows 95 has no visual styles: without this Wine draws every control,
    # the progress bar's smooth fill among them, in its own "light" style.
    r"= %s|ThemeActive|sz|0" % THEME_MANAGER,
    # The style switched off as Wine itself leaves it: no style file, colour
    # variant or size named, and not marked as applied.
    *[r"- %s|%s" % (THEME_MANAGER, name) for name in ("DllName", "ColorName", "SizeName", "LoadedBefore")],
    # The light style's scroll bars are 17 pixels wide; Windows 95's, 16.
    r"= HKCU\Control Panel\Desktop\WindowMetrics|ScrollWidth|sz|16",
    r"= HKCU\Control Panel\Desktop\WindowMetrics|ScrollHeight|sz|16",
    # Gradient captions came with Windows 98 and flat menus with XP (the light
    # style turns those on): clear their bits, 0x10 of the first byte and 0x02
    # of the third, and keep the other preferences of Wine 8's fresh prefix.
    r"= HKCU\Control Panel\Desktop|UserPreferencesMask|hex|20 00 00 80 12 00 00 00",
] + [r"= HKCU\Control Panel\Colors|%s|sz|%s" % c for c in WIN95_COLOURS]) + "\n"


# Wine's own fonts (Marlett for the caption buttons, MS Sans Serif, Tahoma, the
# bitmap system fonts) as Debian's fonts-wine installs them.  Debian's Wine 8
# looks for them in <data dir>/../fonts, that is /usr/share/fonts, where they are
# not, so a fresh prefix has none: every caption's close box shows Marlett's "r"
# in another font, and dialogs get a stand-in for MS Sans Serif.  Wine also
# loads every font in the prefix's C:\windows\Fonts, so they go there.
WINE_FONTS = "/usr/share/wine/fonts"


def install_fonts(prefix):
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in os.listdir(WINE_FONTS):
        shutil.copyfile(os.path.join(WINE_FONTS, name), os.path.join(fonts, name))
