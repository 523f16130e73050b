#!/usr/bin/env python3
"""Builds the site's generated files: the page (its policy naming its one inline script by
digest), the stylesheet with the stand-in fonts subset to the windows'
characters as WOFF2 and the check mark embedded, the fonts' licences (fonts/*.txt), and the icon
as PNG; and, for the program, the names of the site's faces (site_faces.inc in INCLUDE_DIR).

usage: make_site.py SOURCE_DIR SITE_DIR INCLUDE_DIR"""
import base64, hashlib, json, os, re, subprocess, sys, tempfile

from fontTools.ttLib import TTFont

source, site, include = sys.argv[1:4]
resources = os.path.join(source, 'resources')
layouts = ['Form1', 'Form2']

# Every character a window can show: the declared texts, the numbers, the exercise's signs.
shown = set('0123456789+-= OK')
for name in layouts:
    with open(os.path.join(resources, name + '.json'), encoding='utf-8') as f:
        declaration = json.load(f)
    shown.update(declaration['caption'])
    for control in declaration['controls']:
        shown.update(control.get('text', ''))

# The stand-ins that the desktop builds use for the designed faces, from Debian's packages. The
# site carries only the characters the windows show, which makes each a modified font: the
# licences of two forbid a modified font the original's name, so every subset gets a name of its
# own, and the program asks the page for that name where it names the stand-in. Each goes with
# its notice (toolkit/web/fonts) and its licences' full texts (LICENSES) into the site's fonts/
# folder.
FONTS = [
    # stand-in, name in the site, style, file, licence (an SPDX expression)
    ('DejaVu Sans', 'Drill Sans A', 'normal', '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf',
     'Bitstream-Vera AND LicenseRef-Arev-Fonts'),
    ('PT Sans', 'Drill Sans B', 'normal', '/usr/share/fonts/truetype/paratype/PTS55F.ttf',
     'LicenseRef-ParaType-Free-Font'),
    ('Liberation Serif', 'Drill Serif', 'normal',
     '/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf', 'OFL-1.1'),
    ('Z003', 'Drill Script', 'italic', '/usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf',
     'AGPL-3.0-only WITH PS-or-PDF-font-exception-20170817'),
]


def notice_name(name):
    return name.lower().replace(' ', '-') + '.txt'


def rename(path, family, style):
    """Gives the subset font at path the family name; its copyright notice stays."""
    font = TTFont(path, recalcTimestamp=False)  # the same fonts give the same site
    subfamily = 'Italic' if style == 'italic' else 'Regular'
    postscript = family.replace(' ', '') + '-' + subfamily
    full = family if subfamily == 'Regular' else family + ' ' + subfamily
    names = font['name']
    names.names = [record for record in names.names if record.nameID in (0, 5)]
    for name_id, text in ((1, family), (2, subfamily), (3, postscript), (4, full), (6, postscript)):
        names.setName(text, name_id, 3, 1, 0x409)
        names.setName(text, name_id, 1, 0, 0)
    if 'CFF ' in font:
        cff = font['CFF '].cff
        cff.fontNames = [postscript]
        top = cff.topDictIndex[0]
        top.FullName, top.FamilyName = full, family
    font.save(path)


faces = []
fonts_dir = os.path.join(site, 'fonts')
os.makedirs(fonts_dir, exist_ok=True)
with tempfile.TemporaryDirectory() as scratch:
    text_file = os.path.join(scratch, 'text.txt')
    with open(text_file, 'w', encoding='utf-8') as f:
        f.write(''.join(sorted(shown)))
    for _, family, style, path, licence in FONTS:
        woff2 = os.path.join(scratch, 'font.woff2')
        subprocess.run(['pyftsubset', path, '--text-file=' + text_file, '--flavor=woff2',
                        '--layout-features=kern,liga', '--no-hinting', '--desubroutinize',
                        '--output-file=' + woff2], check=True)
        rename(woff2, family, style)
        with open(woff2, 'rb') as f:
            data = base64.b64encode(f.read()).decode()
        notice = notice_name(family)
        faces.append('/* %s: licence in fonts/%s */\n'
                     '@font-face { font-family: "%s"; font-style: %s; font-weight: 400; '
                     'src: url(data:font/woff2;base64,%s) format("woff2"); }'
                     % (family, notice, family, style, data))
        with open(os.path.join(source, 'toolkit', 'web', 'fonts', notice), encoding='utf-8') as f:
            text = f.read()
        text += '\nSPDX-License-' 'Identifier: %s\n' % licence  # in two: not this file's own
        for part in re.split(r' (?:AND|WITH) ', licence):
            with open(os.path.join(source, 'LICENSES', part + '.txt'), encoding='utf-8') as f:
                text += '\n\n%s\n%s\n\n%s' % (part, '=' * len(part), f.read())
        with open(os.path.join(fonts_dir, notice), 'w', encoding='utf-8') as f:
            f.write(text)

with open(os.path.join(include, 'site_faces.inc'), 'w', encoding='utf-8') as out:
    out.write('// The stand-in faces that the site carries, under their names in the site.\n')
    out.write('const std::pair<std::string_view, std::string_view> siteFaces[] = {\n')
    for stand_in, family, *_ in FONTS:
        out.write('    {"%s", "%s"},\n' % (stand_in, family))
    out.write('};\n')

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
# Without the time of making in the file, so that the same icon gives the same site.
subprocess.run(['convert', icon, '-define', 'png:exclude-chunks=date,time',
                os.path.join(site, 'icon.png')], check=True)
subprocess.run(['convert', icon, '-filter', 'point', '-resize', '192x192',
                '-define', 'png:exclude-chunks=date,time', os.path.join(site, 'icon-192.png')],
               check=True)

# The page: its Content-Security-Policy allows its one inline script by the script's digest, so
# that no other inline script may run.
with open(os.path.join(source, 'toolkit', 'web', 'index.html'), encoding='utf-8') as f:
    page = f.read()
inline = re.findall(r'<script>(.*?)</script>', page, re.S)
if len(inline) != 1:
    sys.exit('index.html: expected one inline script, found %d' % len(inline))
digest = base64.b64encode(hashlib.sha256(inline[0].encode()).digest()).decode()
page = page.replace('@FETCH_SCRIPT_HASH@', 'sha256-' + digest)
with open(os.path.join(site, 'index.html'), 'w', encoding='utf-8') as f:
    f.write(page)
