// Where the program's WebAssembly comes from. Over http(s) it is drill.wasm beside this script,
// which the browser compiles while it downloads and keeps compiled for the next visit. A page
// opened from a folder (file://) may not fetch a file, but it may run a script: there the same
// WebAssembly comes from drill.wasm.js, which holds it as base64 text.
if (location.protocol === 'file:') {
  Module.instantiateWasm = function (imports, receive) {
    const script = document.createElement('script');
    script.src = new URL('drill.wasm.js', document.currentScript ? document.currentScript.src
                                                                 : location.href).href;
    script.onload = function () {
      const text = atob(window.drillWasm);
      delete window.drillWasm;
      const bytes = new Uint8Array(text.length);
      for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
      WebAssembly.instantiate(bytes, imports).then(function (result) {
        receive(result.instance, result.module);
      }, function (error) { abort(error); });
    };
    script.onerror = function () { abort('drill.wasm.js could not be loaded'); };
    document.head.append(script);
    return {};
  };
}
