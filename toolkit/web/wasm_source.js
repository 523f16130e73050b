// Where the program's WebAssembly comes from. Over http(s) it is drill.wasm beside this script,
// which the browser compiles while it downloads and keeps compiled for the next visit. A page
// opened from a folder (file://) may not fetch a file, but it may run a script: there the same
// WebAssembly comes from drill.wasm.js, which holds it as base64 text.
//
// Over http(s) offline.js has most likely asked for drill.wasm already, before this script
// arrived; the program takes that answer instead of asking again. A server that gives it another
// type than application/wasm keeps the browser from compiling it while it arrives: then it is
// compiled once it is all in.
if (location.protocol !== 'file:' && window.drillWasmResponse) {
  Module.instantiateWasm = function (imports, receive) {
    const response = window.drillWasmResponse;
    delete window.drillWasmResponse;
    response.then(function (answer) {
      if (!answer.ok) throw new Error('drill.wasm could not be loaded: HTTP ' + answer.status);
      const type = (answer.headers.get('Content-Type') || '').split(';')[0].trim().toLowerCase();
      return type === 'application/wasm' && WebAssembly.instantiateStreaming
        ? WebAssembly.instantiateStreaming(answer, imports)
        : answer.arrayBuffer().then(function (bytes) {
          return WebAssembly.instantiate(bytes, imports);
        });
    }).then(function (result) {
      receive(result.instance, result.module);
    }, function (error) { abort(error); });
    return {};
  };
} else if (location.protocol === 'file:') {
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
