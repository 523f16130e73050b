#!/usr/bin/env python3
"""Builds the site's generated files: the layouts compiled into the program (layouts.inc), the
stylesheet with the stand-in fonts subset to the windows' characters as WOFF2 and the check mark
embedded, and the icon as PNG.

usage: make_site.py SOURCE_DIR SITE_DIR INCLUDE_FILE"""
import base64, json, os, subprocess, sys, tempfile

source, site, include = sys.argv[1:4]
resources = os.path.join(source, 'resources')
layouts = ['Form1', 'Form2']

with open(include, 'w', encoding='utf-8') as out:
    out.write('static const std::pair<std::string_view, std::string_view> layouts[] = {\n')
    for name in layouts:
        with open(os.path.join(resources, name + '.json'), encoding='utf-8') as f:
            text = f.read()
        out.write('    {"%s", R"drill_layout(%s)drill_layout"},\n' % (name, text))
    out.write('};\n')

# Every character a window can show: the declared texts, the numbers, the exercise's signs.
shown = set('0123456789+-= OK')
for name in layouts:
    with open(os.path.join(resources, name + '.json'), encoding='utf-8') as f:
        declaration = json.load(f)
    shown.update(declaration['caption'])
    for control in declaration['controls']:
        shown.update(control.get('text', ''))

# The stand-ins that the desktop builds use for the designed faces, from Debian's packages.
FONTS = [
    ('DejaVu Sans', 'normal', '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf'),
    ('PT Sans', 'normal', '/usr/share/fonts/truetype/paratype/PTS55F.ttf'),
    ('Liberation Serif', 'normal', '/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf'),
    ('Z003', 'italic', '/usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf'),
]
faces = []
with tempfile.TemporaryDirectory() as scratch:
    text_file = os.path.join(scratch, 'text.txt')
    with open(text_file, 'w', encoding='utf-8') as f:
        f.write(''.join(sorted(shown)))
    for family, style, path in FONTS:
        woff2 = os.path.join(scratch, 'font.woff2')
        subprocess.run(['pyftsubset', path, '--text-file=' + text_file, '--flavor=woff2',
                        '--layout-features=kern,liga', '--no-hinting', '--desubroutinize',
                        '--output-file=' + woff2], check=True)
        with open(woff2, 'rb') as f:
            data = base64.b64encode(f.read()).decode()
        faces.append('@font-face { font-family: "%s"; font-style: %s; font-weight: 400; '
                     'src: url(data:font/woff2;base64,%s) format("woff2"); }' % (family, style, data))

# The OK button's check mark: the same 18 × 18 image as the desktop builds.
ROWS = ["..................", "..................", "...............#..", "..............##..",
        ".............###..", "............###...", "...........###....", "..#.......###.....",
        "..##.....###......", "..###...###.......", "...###.###........", "....#####.........",
        ".....###..........", "......#...........", "..................", "..................",
        "..................", ".................."]
cells = ''.join('<rect x="%d" y="%d" width="1" height="1"/>' % (x, y)
                for y, row in enumerate(ROWS) for x, c in enumerate(row) if c == '#')
svg = ('<svg xmlns="http://www.w3.org/2000/svg" width="18" height="18" shape-rendering="crispEdges" '
       'fill="rgb(0,128,0)">%s</svg>' % cells)

with open(os.path.join(source, 'toolkit', 'web', 'site.css.in'), encoding='utf-8') as f:
    css = f.read()
css = css.replace('@FONT_FACES@', '\n'.join(faces))
css = css.replace('@CHECK_MARK@', base64.b64encode(svg.encode()).decode())
with open(os.path.join(site, 'site.css'), 'w', encoding='utf-8') as f:
    f.write(css)

icon = os.path.join(resources, 'MAINICON.xpm')
subprocess.run(['convert', icon, os.path.join(site, 'icon.png')], check=True)
subprocess.run(['convert', icon, '-filter', 'point', '-resize', '192x192',
                os.path.join(site, 'icon-192.png')], check=True)
