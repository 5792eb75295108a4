// What the tests of the package share: where the build put things, and
// opening an engine root folder of the native build through the package.
import { readdirSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

export function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set: run the tests through ctest`);
  return value;
}

export const pkg = await import(pathToFileURL(join(required('QUARVEL_PACKAGE'), 'index.js')).href);

/** Opens the native root folder `root` (conf/quarvel.ini, dicts/*) in WebAssembly. */
export function openRoot(root) {
  const dictionaries = {};
  for (const name of readdirSync(join(root, 'dicts'))) {
    dictionaries[name] = pathToFileURL(join(root, 'dicts', name));
  }
  return pkg.Quarvel.open({ config: pathToFileURL(join(root, 'conf', 'quarvel.ini')), dictionaries });
}
