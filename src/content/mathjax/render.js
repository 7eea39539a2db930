// Typesets TeX formulas to SVG for Exavoro's previews. Runs as one long-lived process: every line
// on standard input is a JSON request {"id": n, "tex": "...", "display": true|false}; every answer
// is one JSON line {"id": n, "svg": "..."} or {"id": n, "error": "..."} on standard output.
'use strict';

const readline = require('readline');
const {mathjax} = require('mathjax-full/js/mathjax.js');
const {TeX} = require('mathjax-full/js/input/tex.js');
const {SVG} = require('mathjax-full/js/output/svg.js');
const {liteAdaptor} = require('mathjax-full/js/adaptors/liteAdaptor.js');
const {RegisterHTMLHandler} = require('mathjax-full/js/handlers/html.js');
const {AllPackages} = require('mathjax-full/js/input/tex/AllPackages.js');

const adaptor = liteAdaptor();
RegisterHTMLHandler(adaptor);

// Packages left out: bussproofs is not needed; noundefined and noerrors would hide errors; html
// (\style, \class, \cssId, \href), action, bbox, enclose and unicode reach into styles and page
// attributes (a \style with a huge font size makes a picture too large to draw); newcommand's
// definitions would stay in force for every formula typeset after the one that made them.
const LEFT_OUT =
    ['bussproofs', 'noundefined', 'noerrors', 'html', 'action', 'bbox', 'enclose', 'unicode', 'newcommand'];

// Commands refused before MathJax sees the formula, also when a package above would know them
// (the program refuses them at entry; this guards formulas stored by other means).
const REFUSED = new RegExp(
    '\\\\(style|class|cssId|href|url|require|data|bbox|unicode|toggle|mathtip|texttip|' +
    'actiontype|setOptions|def|gdef|edef|xdef|let|futurelet|newcommand|renewcommand|providecommand|' +
    'DeclareMathOperator|newenvironment|renewenvironment|input|include|includegraphics)(?![a-zA-Z])');

// Longest formula typeset, in characters (the program refuses longer ones at entry).
const MAX_LENGTH = 20000;

// TeX errors (also unknown commands) come back as errors instead of red text inside the picture,
// so the caller can say what is wrong.
const tex = new TeX({
    packages: AllPackages.filter((name) => !LEFT_OUT.includes(name)),
    formatError: (jax, err) => {
        throw err;
    },
});
// Paths written out in place: Qt's SVG renderer draws them without needing shared <defs>.
const svg = new SVG({fontCache: 'none'});
const html = mathjax.document('', {InputJax: tex, OutputJax: svg});

function render(request) {
    const source = String(request.tex);
    if (source.length > MAX_LENGTH) throw new Error('公式太长，无法预览');
    const refused = REFUSED.exec(source);
    if (refused) throw new Error('不能使用 \\' + refused[1]);
    const node = html.convert(source, {display: !!request.display, em: 16, ex: 8, containerWidth: 80 * 16});
    const root = adaptor.firstChild(node);  // the <svg> inside <mjx-container>
    // currentColor does not resolve outside a browser: formulas are drawn in black.
    return adaptor.outerHTML(root).replace(/currentColor/g, 'black');
}

const lines = readline.createInterface({input: process.stdin, terminal: false});
lines.on('line', (line) => {
    if (!line.trim()) return;
    let id = null;
    let answer;
    try {
        const request = JSON.parse(line);
        id = request.id === undefined ? null : request.id;
        answer = {id, svg: render(request)};
    } catch (err) {
        answer = {id, error: String(err && err.message ? err.message : err)};
    }
    process.stdout.write(JSON.stringify(answer) + '\n');
});
lines.on('close', () => process.exit(0));
