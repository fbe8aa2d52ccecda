<%@ EnableSessionState=False %>
<% Session("user") = Request("u") %>
