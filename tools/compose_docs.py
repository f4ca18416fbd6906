#!/usr/bin/env python3
# Composes README.md and docs/ARCHITECTURE.md from their heads and the per-area fragments.
import os
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
order = ['designer_ui', 'preview', 'fillscript', 'design', 'webview', 'webview_bridge', 'webview_events']
def compose(target, frag_dir, marker):
    path = os.path.join(root, target)
    text = open(path).read()
    head = text.split(marker)[0].rstrip() + '\n\n' + marker + '\n'
    parts = []
    for name in order:
        f = os.path.join(root, frag_dir, name + '.md')
        if os.path.exists(f):
            parts.append(open(f).read().strip() + '\n')
    open(path, 'w').write(head + '\n' + '\n'.join(parts))
compose('README.md', 'docs/readme', '<!-- sections -->')
compose('docs/ARCHITECTURE.md', 'docs/arch', '<!-- sections -->')
